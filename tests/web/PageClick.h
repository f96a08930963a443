#pragma once

// A person's click on an element of a page: a real mouse press and release
// where the element is drawn, so the page sees the user's own action (a
// script's element.click() is not one).
//   const QVariant at = evaluate(kova::test::centreOf("#terms"));
//   kova::test::clickInPage(view, at);

#include <QPoint>
#include <QTest>
#include <QVariant>
#include <QWebEngineView>

#include "platform/web/WebView.h"

namespace kova::test {

// A script whose result is the element's centre in the view, [x, y], or null.
inline QString centreOf(const QString &selector)
{
    return QStringLiteral("(function () { var e = document.querySelector('%1'); if (!e) return null;"
                          " var r = e.getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        .arg(selector);
}

// The engine finds what a click hits in the last frame it drew: on a loaded
// machine a page just loaded, or elements a script has just added, may not be
// in it yet, and the click lands on what was there before. Two frames after
// markFrames() has run, framesDrawn() is true and they are.
inline QString markFrames()
{
    return QStringLiteral("window.kovaTestFramed = false; requestAnimationFrame(function () {"
                          " requestAnimationFrame(function () { window.kovaTestFramed = true; }); }); true");
}
inline QString framesDrawn() { return QStringLiteral("window.kovaTestFramed === true"); }

// Clicks at the point centreOf() gave; false when it gave none.
inline bool clickInPage(platform::WebView *view, const QVariant &centre)
{
    const QVariantList xy = centre.toList();
    if (xy.size() != 2 || !view || !view->engineView())
        return false;
    // The engine takes its input through the widget it draws into.
    QWidget *target = view->engineView()->focusProxy() ? view->engineView()->focusProxy() : view->engineView();
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(qRound(xy[0].toDouble()), qRound(xy[1].toDouble())));
    return true;
}

} // namespace kova::test
