#include "pipeline/AppIdentity.h"

namespace keelwick::AppIdentity {

QString versionString() {
    QString version = QStringLiteral(KEELWICK_VERSION);
    if (version.isEmpty()) {
        version = QStringLiteral("1.0.0");
    }
    const QString build = QStringLiteral(KEELWICK_BUILD_NUMBER);
    if (!build.isEmpty()) {
        version += QLatin1Char('-') + build;
    }
    return version;
}

}  // namespace keelwick::AppIdentity
