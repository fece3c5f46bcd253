#include "workflow/StoredSettings.h"

namespace keelwick {

QSettings storedSettings() {
    return QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick"));
}

}  // namespace keelwick
