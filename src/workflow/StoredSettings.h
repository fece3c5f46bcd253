#pragma once

#include <QSettings>

namespace keelwick {

/// The settings Keelwick stores as they change, under the organization and application
/// "Keelwick": the model's counts and folders, and the window's first-launch flag.
QSettings storedSettings();

}  // namespace keelwick
