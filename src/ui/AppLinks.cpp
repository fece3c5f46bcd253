#include "ui/AppLinks.h"

#include "keelwick_links.h"

#include <QFileInfo>

namespace keelwick {

QUrl AppLinks::intelSupportPage() const {
    return QUrl(
        QStringLiteral("https://developer.apple.com/documentation/apple-silicon/"
                       "about-the-rosetta-translation-environment"));
}

QUrl AppLinks::privacyPage() const {
    return keelwickPrivacyPageUrl();
}

QUrl AppLinks::homePage() const {
    const QUrl configured(QStringLiteral(KEELWICK_HOME_PAGE_URL));
    if (!configured.isLocalFile() || QFileInfo::exists(configured.toLocalFile())) {
        return configured;
    }
    // Not installed yet: the program runs from its build folder, beside its sources.
    return QUrl::fromLocalFile(QStringLiteral(KEELWICK_SOURCE_README));
}

}  // namespace keelwick
