#pragma once

#include <QString>

namespace keelwick::AppIdentity {

/// The application's version: the project version of the build, then "-" and the build
/// number (the commit count of the sources) when there is one, as in "0.1.0-42".
QString versionString();

}  // namespace keelwick::AppIdentity
