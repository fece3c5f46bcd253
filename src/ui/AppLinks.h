#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QUrl>

namespace keelwick {

/// The pages the About window opens. They are set in one place at build time; the privacy
/// statement and the project's page are installed with the program, so none of them needs
/// the network unless a packager points them at a web site.
class AppLinks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The links are made by the program.")
    Q_PROPERTY(QUrl intelSupportPage READ intelSupportPage CONSTANT)
    Q_PROPERTY(QUrl privacyPage READ privacyPage CONSTANT)
    Q_PROPERTY(QUrl homePage READ homePage CONSTANT)

  public:
    using QObject::QObject;

    QUrl intelSupportPage() const;
    QUrl privacyPage() const;
    QUrl homePage() const;
};

}  // namespace keelwick
