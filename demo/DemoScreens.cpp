#include "demo/DemoScreens.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <cstdio>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace {

QString s_directory;
int s_count = 0;

} // namespace

bool DemoSteady::held(bool condition)
{
    if (!condition) {
        m_since.invalidate();
        return false;
    }
    if (!m_since.isValid())
        m_since.start();
    return m_since.elapsed() >= m_milliseconds;
}

void typeKeyByKey(QWidget *field, const QString &text)
{
    field->setFocus(Qt::OtherFocusReason);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &release);
    }
}

void setDemoScreensDirectory(const QString &directory)
{
    s_directory = directory;
    if (!s_directory.isEmpty())
        QDir().mkpath(s_directory);
}

void saveDemoScreen(const QString &name)
{
    kova::platform::Window *window = kova::platform::Application::shared().keyWindow();
    if (s_directory.isEmpty() || !window)
        return;
    const QString path = QDir(s_directory).filePath(QStringLiteral("%1-%2.png").arg(++s_count, 2, 10, QLatin1Char('0')).arg(name));
    if (window->grab().save(path, "PNG"))
        std::printf("  screen saved: %s\n", path.toUtf8().constData());
    else
        std::fprintf(stderr, "  could not save the screen %s\n", path.toUtf8().constData());
    std::fflush(stdout);
}
