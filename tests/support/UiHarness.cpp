#include "tests/support/UiHarness.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

#include "platform/ui/Application.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/ViewController.h"
#include "tests/support/TestSupport.h"

namespace kova::test {

void WindowDeleter::operator()(platform::Window *window) const
{
    if (!window)
        return;
    window->hide();
    delete window;
}

WindowPtr makeWindow(std::shared_ptr<platform::ViewController> root)
{
    WindowPtr window(new platform::Window);
    window->resize(390, 844);
    if (root)
        window->setRootViewController(std::move(root));
    platform::Application::shared().setKeyWindow(window.get());
    window->show();
    pump();
    return window;
}

bool pumpUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    return waitUntil(condition, deadline);
}

void pump(int turns)
{
    for (int i = 0; i < turns; ++i)
        QApplication::processEvents(QEventLoop::AllEvents);
}

void tap(QWidget *widget)
{
    tap(widget, widget->rect().center());
}

void tap(QWidget *widget, const QPoint &point)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, point);
    pump(2);
}

void doubleClick(QWidget *widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, global, Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
}

void type(QWidget *widget, const QString &text)
{
    widget->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(widget, text);
    pump(2);
}

void pressKey(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(widget, key, modifiers);
    pump(2);
}

void swipeDown(platform::Window *window, int distance)
{
    auto top = window->topPresentedViewController();
    QWidget *card = top ? window->layerFor(top.get()) : nullptr;
    if (!card)
        return;
    const QPoint start(card->width() / 2, 4);
    QTest::mousePress(card, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(card, start + QPoint(0, distance / 2));
    QTest::mouseRelease(card, Qt::LeftButton, Qt::NoModifier, start + QPoint(0, distance));
    pump(2);
}

void showKeyboard(int height)
{
    platform::Keyboard::postShow(QRect(0, 844 - height, 390, height));
}

void hideKeyboard()
{
    platform::Keyboard::postHide(QRect(0, 844, 390, 336));
}

QImage grab(QWidget *widget)
{
    pump();
    return widget->grab().toImage();
}

QString screensDirectory()
{
    const QString dir = qEnvironmentVariable("KOVA_SCREENS_DIR");
    return dir.isEmpty() ? dataDirectory() + QStringLiteral("/screens") : dir;
}

QString grabPng(QWidget *widget, const QString &name)
{
    const QString dir = screensDirectory();
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    return grab(widget).save(path, "PNG") ? path : QString();
}

QColor pixelAt(QWidget *widget, const QPoint &point)
{
    const QImage image = grab(widget);
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(QPoint(qRound(point.x() * ratio), qRound(point.y() * ratio)));
}

} // namespace kova::test
