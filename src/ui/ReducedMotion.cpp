#include "ui/ReducedMotion.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSettings>
#include <QStandardPaths>

namespace keelwick {

namespace {

/// The portal's answer to "org.gnome.desktop.interface enable-animations"; absent when no
/// portal answers within a moment.
std::optional<bool> portalEnablesAnimations() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    request << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations");
    const QDBusMessage reply = bus.call(request, QDBus::Block, 300);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    // The value comes wrapped in one variant, or two with older portals.
    QVariant value = reply.arguments().front();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    if (value.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    return value.toBool();
}

bool kdeAnimatesInstantly() {
    const QString kdeglobals =
        QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kdeglobals"));
    if (kdeglobals.isEmpty()) {
        return false;
    }
    const QSettings settings(kdeglobals, QSettings::IniFormat);
    bool isNumber = false;
    const double factor =
        settings.value(QStringLiteral("KDE/AnimationDurationFactor")).toDouble(&isNumber);
    return isNumber && factor == 0;
}

}  // namespace

bool desktopAsksForReducedMotion() {
    if (qEnvironmentVariableIsSet("KEELWICK_REDUCED_MOTION")) {
        return qEnvironmentVariable("KEELWICK_REDUCED_MOTION") != QLatin1String("0");
    }
    if (const std::optional<bool> animates = portalEnablesAnimations()) {
        return !*animates;
    }
    return kdeAnimatesInstantly();
}

}  // namespace keelwick
