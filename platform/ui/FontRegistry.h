#pragma once

// Usage:
//   FontRegistry::registerFont("Muli-SemiBold", fileBytes);   // any time, any thread
//   QFont f = FontRegistry::font("Muli-SemiBold", 16);         // main thread, GUI up
// Registering font data with Qt before a QGuiApplication exists crashes, so
// data given earlier waits and is registered as soon as a GUI application is
// there (at the latest on the first font() call). A name maps to the family
// its file registered ("Muli"), with weight and italic read from the style
// part of the name ("-SemiBoldItalic"); sizes are in points, 1 point = 1 pixel.

#include <QByteArray>
#include <QFont>
#include <QString>
#include <QStringList>

namespace kova::platform::FontRegistry {

// Queues (or registers at once when the GUI exists) one font file's bytes
// under a name. Returns false for empty data or a name given before.
bool registerFont(const QString &name, const QByteArray &data);
// Registers whatever is waiting, when a QGuiApplication exists; returns how
// many were registered by this call. Failures are logged "Failed to load
// font: <name>" and skipped.
int registerPending();
bool isRegistered(const QString &name);
QStringList registeredNames();
// The family the name's file registered, or a null text.
QString familyForName(const QString &name);
// The font for a registered name at a pixel size; an unknown name gives the
// application's default font at that size.
QFont font(const QString &name, qreal pointSize);
// Weight and italic of a style name such as "Muli-ExtraBoldItalic".
QFont::Weight weightForName(const QString &name);
bool italicForName(const QString &name);

} // namespace kova::platform::FontRegistry
