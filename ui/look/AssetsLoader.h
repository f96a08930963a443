#pragma once

// Usage: `AssetsLoader::imageNamed("Lock")` (the @2x file when there is one,
// with devicePixelRatio 2) and `AssetsLoader::dataForGIFNamed("connectAnimation")`.
// Both give null for a name the framework's resources lack.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kova {

class AssetsLoader {
public:
    static QImage imageNamed(const QString &name);
    static QByteArray dataForGIFNamed(const QString &name);
};

} // namespace kova
