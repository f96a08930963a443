#pragma once

#include <QString>

namespace kova::platform::ProcessInfo {

// The process environment: a null QString when the variable is not set.
QString environmentValue(const char *name);

// The directory the SDK keeps its files in (store, vault, user defaults):
// the application's data location, created on first use. Tests point it
// elsewhere with setDataDirectoryOverride.
QString dataDirectory();
void setDataDirectoryOverride(const QString &path);
// Changes whenever the host chooses another data directory: what is kept per
// directory is current while this is unchanged.
quint64 dataDirectoryGeneration();

// The host application's identifier (reverse DNS), or a null QString when the
// host has none. A host sets it once at start-up; without it the SDK derives
// one from the application's organisation domain and name when both are set.
QString mainBundleIdentifier();
void setMainBundleIdentifier(const QString &identifier);

} // namespace kova::platform::ProcessInfo
