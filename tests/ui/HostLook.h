#pragma once

// A host application's own look (a dark palette, another widget style), for checking that none of it reaches the
// SDK's screens:
//   kova::test::expectSameUnderDarkHost(window.get(), "message-error");
// grabs the window as it is, again under a dark host palette and style, and expects
// the two to be the same picture (the dark one is written for people too).

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QString>
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
// between two grabs on a loaded machine, whatever the palette: the dark grab is
// compared with the light one only when the light grabs on either side of it
// agree, so what is left to differ is the host's look.
inline void expectSameUnderDarkHost(QWidget *window, const QString &name)
{
    qsizetype differing = -1;
    for (int attempt = 0; attempt < 20 && differing != 0; ++attempt) {
        pump();
        const QImage light = grab(window);
        QImage dark;
        {
            DarkHostPalette host;
            pump();
            dark = grab(window);
            grabPng(window, QStringLiteral("dark-host-") + name);
        }
        pump();
        if (differingPixels(light, grab(window)) != 0)
            continue;
        differing = differingPixels(light, dark);
    }
    EXPECT_EQ(differing, 0) << name.toStdString() << " changes under the host's dark palette (-1: it never stood still)";
}

} // namespace kova::test
