#include "ui/AppLinks.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace keelwick {

namespace {

/// The installed file, or the source tree's copy when the program runs from its build folder.
QUrl installedDocument(const QString& installed, const QString& inSources) {
    return QUrl::fromLocalFile(QFileInfo::exists(installed) ? installed : inSources);
}

}  // namespace

QUrl AppLinks::intelSupportPage() const {
    return QUrl(
        QStringLiteral("https://developer.apple.com/documentation/apple-silicon/"
                       "about-the-rosetta-translation-environment"));
}

QUrl AppLinks::privacyPage() const {
    return installedDocument(QStringLiteral(KEELWICK_PRIVACY_PAGE),
                             QStringLiteral(KEELWICK_SOURCE_PRIVACY_PAGE));
}

QUrl AppLinks::homePage() const {
    const QUrl configured(QStringLiteral(KEELWICK_HOME_PAGE));
    if (!configured.isEmpty() && !configured.isLocalFile()) {
        return configured;
    }
    return installedDocument(configured.toLocalFile(), QStringLiteral(KEELWICK_SOURCE_README));
}

}  // namespace keelwick
