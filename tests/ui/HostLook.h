#pragma once

// A host application's own look (a dark palette, another widget style, an
// application style sheet), for checking that none of it reaches the SDK's
// screens:
//   kova::test::expectSameUnderDarkHost(window.get(), "message-error");
// grabs the window as it is, again under each host look, and expects every
// one to be the same picture (the host-look grabs are written for people too).

#include <QApplication>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QStyleHints>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QString>
#include <optional>
#include <gtest/gtest.h>

#include "tests/support/UiHarness.h"

namespace kova::test {

// A dark palette as a host in dark mode sets it: light text on dark ground.
inline QPalette darkHostPalette()
{
    QPalette p;
    const QColor ground(0x20, 0x20, 0x24);
    const QColor raised(0x33, 0x33, 0x38);
    const QColor text(Qt::white);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, ground);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, raised);
        p.setColor(group, QPalette::AlternateBase, ground);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::PlaceholderText, QColor(0xdd, 0xdd, 0x22));
        p.setColor(group, QPalette::Button, raised);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, QColor(0xff, 0x40, 0x40));
        p.setColor(group, QPalette::Light, QColor(0x55, 0x55, 0x5a));
        p.setColor(group, QPalette::Midlight, QColor(0x44, 0x44, 0x48));
        p.setColor(group, QPalette::Mid, QColor(0x2a, 0x2a, 0x2e));
        p.setColor(group, QPalette::Dark, QColor(0x10, 0x10, 0x12));
        p.setColor(group, QPalette::Shadow, Qt::black);
        p.setColor(group, QPalette::Highlight, QColor(0xff, 0x80, 0x00));
        p.setColor(group, QPalette::HighlightedText, Qt::black);
        p.setColor(group, QPalette::Link, QColor(0x80, 0xc0, 0xff));
        p.setColor(group, QPalette::ToolTipBase, ground);
        p.setColor(group, QPalette::ToolTipText, text);
    }
    return p;
}

// The host's palette and widget style for as long as it lives.
class DarkHostPalette {
public:
    DarkHostPalette() : m_previous(QApplication::palette()), m_previousStyle(QApplication::style()->name())
    {
        QApplication::setStyle(QStringLiteral("Windows"));
        QApplication::setPalette(darkHostPalette());
    }
    ~DarkHostPalette()
    {
        QApplication::setStyle(m_previousStyle);
        QApplication::setPalette(m_previous);
    }

private:
    QPalette m_previous;
    QString m_previousStyle;
};

// A host that themes itself with one application style sheet: a single rule
// that whitens every label, and a whole dark theme as hosts ship them.
inline const char *hostileStyleSheet()
{
    return "QLabel { color: white; }";
}

inline const char *darkThemeStyleSheet()
{
    return R"css(
QWidget { color: #E0E1E3; background-color: #19232D; selection-background-color: #346792;
          selection-color: #E0E1E3; alternate-background-color: #1E2A36; }
QWidget:disabled { color: #9DA9B5; background-color: #19232D; }
QWidget:focus { border: 1px solid #1A72BB; }
QFrame { border-radius: 4px; border: 1px solid #455364; padding: 1px; }
QLabel { background-color: #19232D; border: 0px solid #455364; padding: 2px; margin: 0px; color: #E0E1E3; }
QLabel:disabled { color: #9DA9B5; }
QAbstractButton, QPushButton { background-color: #455364; color: #E0E1E3; border-radius: 4px; padding: 6px 12px;
                               border: none; }
QPushButton { min-height: 20px; }
QPushButton:pressed, QAbstractButton:pressed { background-color: #60798B; }
QPushButton:disabled { background-color: #455364; color: #9DA9B5; }
QLineEdit { background-color: #19232D; padding: 2px 4px; border: 1px solid #455364; border-radius: 4px;
            color: #E0E1E3; selection-background-color: #346792; }
QLineEdit:focus { border: 1px solid #1A72BB; }
QAbstractScrollArea, QAbstractItemView, QListView { background-color: #19232D; border: 1px solid #455364;
                                                    border-radius: 4px; color: #E0E1E3; }
QScrollBar:vertical { background-color: #19232D; width: 16px; margin: 16px 2px 16px 2px;
                      border: 1px solid #455364; border-radius: 4px; }
QScrollBar::handle:vertical { background-color: #60798B; border: 1px solid #455364; min-height: 8px;
                              border-radius: 4px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 12px; width: 12px; }
QScrollBar:horizontal { background-color: #19232D; height: 16px; border: 1px solid #455364; }
QToolTip { background-color: #346792; color: #E0E1E3; border: none; }
)css";
}

// The host looks a screen must not see. Each is set for as long as a
// HostLook lives, and what was there before comes back after.
enum class HostLookKind { DarkPalette, HostileStyleSheet, DarkThemeStyleSheet };

class HostLook {
public:
    explicit HostLook(HostLookKind kind) : m_kind(kind), m_previousSheet(qApp->styleSheet())
    {
        switch (kind) {
        case HostLookKind::DarkPalette:
            m_palette.emplace();
            break;
        case HostLookKind::HostileStyleSheet:
            qApp->setStyleSheet(QString::fromLatin1(hostileStyleSheet()));
            break;
        case HostLookKind::DarkThemeStyleSheet:
            qApp->setStyleSheet(QString::fromLatin1(darkThemeStyleSheet()));
            break;
        }
    }
    ~HostLook()
    {
        if (m_kind != HostLookKind::DarkPalette)
            qApp->setStyleSheet(m_previousSheet);
    }
    // The prefix of this look's screenshots.
    static QString prefix(HostLookKind kind)
    {
        switch (kind) {
        case HostLookKind::DarkPalette:
            return QStringLiteral("dark-host-");
        case HostLookKind::HostileStyleSheet:
            return QStringLiteral("sheet-host-");
        case HostLookKind::DarkThemeStyleSheet:
            return QStringLiteral("dark-sheet-host-");
        }
        return {};
    }

private:
    HostLookKind m_kind;
    QString m_previousSheet;
    std::optional<DarkHostPalette> m_palette;
};

// The count of pixels that differ between two grabs (all of them when the
// sizes differ).
inline qsizetype differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return qsizetype(std::max(a.width() * a.height(), b.width() * b.height()));
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    qsizetype count = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column)
            count += p[column] != q[column];
    }
    return count;
}

// A screen still settling (a logo arriving, a spinner's turn) can change
// between two grabs on a loaded machine, whatever the host's look: the host
// look's grab is compared with the plain one only when the plain grabs on
// either side of it agree, so what is left to differ is the host's look.
inline void expectSameUnderDarkHost(QWidget *window, const QString &name)
{
    // A field's cursor blinks on its own clock, which a host look set and
    // taken back on a loaded machine can straddle: it stays lit meanwhile.
    QStyleHints *hints = QGuiApplication::styleHints();
    const int flashTime = hints->cursorFlashTime();
    hints->setCursorFlashTime(0);
    const auto restoreFlash = qScopeGuard([hints, flashTime] { hints->setCursorFlashTime(flashTime); });
    for (HostLookKind kind :
         {HostLookKind::DarkPalette, HostLookKind::HostileStyleSheet, HostLookKind::DarkThemeStyleSheet}) {
        qsizetype differing = -1;
        QImage plain;
        for (int attempt = 0; attempt < 20 && differing != 0; ++attempt) {
            pump();
            plain = grab(window);
            QImage hosted;
            {
                HostLook host(kind);
                pump();
                hosted = grab(window);
                grabPng(window, HostLook::prefix(kind) + name);
            }
            pump();
            if (differingPixels(plain, grab(window)) != 0)
                continue;
            differing = differingPixels(plain, hosted);
        }
        if (differing != 0) // the picture to hold the host look's grab against
            plain.save(screensDirectory() + QLatin1Char('/') + HostLook::prefix(kind) + name + QStringLiteral("-plain.png"));
        EXPECT_EQ(differing, 0) << name.toStdString() << " changes under the host's look "
                                << HostLook::prefix(kind).toStdString() << " (-1: it never stood still)";
    }
}

} // namespace kova::test
