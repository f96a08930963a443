#pragma once

// Usage: the look's view helpers on any widget.
//   startShimmering(row); stopShimmering(row);
//   applyKOVShadow(card); removeShadowLayer(card);
//   reuseIdentifier<AccountCell>();          // "AccountCell"
//   isStringEmpty(text); stringRepresentation({"AE", "SA"});  // ["AE","SA"]
//   topViewController(); add(parent, child); setTransparentNavigationBar(nav);
//   setKOVNavigationTitleFont(nav);

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"

namespace kova {

void startShimmering(QWidget *view);
void stopShimmering(QWidget *view);
void applyKOVShadow(QWidget *view);
void removeShadowLayer(QWidget *view);
// The name of the shadow layers.
inline const QString kShadowLayerName = QStringLiteral("shadowLayer");

// The class's own name (without namespace), for registering and dequeuing cells.
template <typename Cell>
QString reuseIdentifier()
{
    const QString name = QString::fromLatin1(Cell::staticMetaObject.className());
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
}

bool isStringEmpty(const QString &text);
QString stringRepresentation(const QStringList &list);

// The SDK's navigation bars set their titles in the look's regular face at
// the bar's title size; the title's colour is left to each screen.
void setKOVNavigationTitleFont(platform::NavigationController &navigation);

inline std::shared_ptr<platform::ViewController> topViewController()
{
    return platform::Application::shared().topViewController();
}

} // namespace kova
