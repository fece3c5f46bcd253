#include "pipeline/DiagnosticsLog.h"

#include "pipeline/AppIdentity.h"
#include "pipeline/InternetDateTime.h"
#include "pipeline/NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <unistd.h>

namespace keelwick {
namespace {

const QString kDmiFolder = QStringLiteral("/sys/devices/virtual/dmi/id");

// A one-line identity text of the kernel's DMI folder: the text up to the first zero byte,
// without the trailing line feed; empty when the file is missing or unreadable.
QString dmiText(const QString& dmiFolder, const QString& name) {
    QFile file(QDir(dmiFolder).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = file.read(256);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) {
        bytes.truncate(zero);
    }
    return QString::fromUtf8(bytes).trimmed();
}

// The operating system as it presents itself, then the running kernel unless the name
// already carries it (Qt falls back to "Linux <kernel version>" without os-release).
QString systemDescription() {
    const QString product = QSysInfo::prettyProductName();
    const QString kernel = QSysInfo::kernelVersion();
    if (kernel.isEmpty() || product.contains(kernel)) {
        return product;
    }
    return product + QStringLiteral(", kernel ") + kernel;
}

long long physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<long long>(pages) * pageSize : 0;
}

long activeProcessorCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? count : 1;
}

}  // namespace

void DiagnosticsLog::add(const QString& label, const std::optional<QString>& value) {
    if (!value || value->isEmpty()) {
        return;
    }
    const QStringList pieces = value->split(u'\n');
    lines << label + QStringLiteral(": ") + pieces.first();
    for (qsizetype index = 1; index < pieces.size(); ++index) {
        lines << QStringLiteral("  ") + pieces[index];
    }
}

void DiagnosticsLog::addFileFacts(const QString& label, const QString& path) {
    add(label, readablePath(path));
    const QString stateLabel = label + QStringLiteral(" state");
    const ReachablePath reachable(path);
    const QFileInfo info(reachable.path());
    if (!info.exists()) {
        add(stateLabel,
            QStringLiteral("not reachable (missing, or outside the granted sandbox scope)"));
        return;
    }
    QStringList parts;
    // Folders have no size of their own, as the platform reports them.
    if (info.isFile()) {
        parts << QString::number(info.size()) + QStringLiteral(" bytes");
    }
    const QDateTime modified = info.lastModified();
    if (modified.isValid()) {
        parts << QStringLiteral("modified ") + internetDateTime(modified);
    }
    parts << (info.isReadable() ? QStringLiteral("readable") : QStringLiteral("NOT readable"));
    add(stateLabel, parts.join(QStringLiteral(", ")));
}

void DiagnosticsLog::record(const PipelineError& error, const QString& stage) {
    add(QStringLiteral("failed stage"), stage);
    add(QStringLiteral("error type"), error.typeName);
    add(QStringLiteral("error message"), error.description);
    add(QStringLiteral("error domain/code"), error.domainAndCode());
    add(QStringLiteral("failure reason"), error.failureReason);
    add(QStringLiteral("recovery suggestion"), error.recoverySuggestion);
    if (const auto& underlying = error.underlyingError) {
        add(QStringLiteral("underlying error"), underlying->domain + QStringLiteral(" / ") +
                                                    QString::number(underlying->code) +
                                                    QStringLiteral(": ") + underlying->description);
    }
    add(QStringLiteral("error path"), error.path);
}

QStringList DiagnosticsLog::environmentLines() {
    return {
        QStringLiteral("Generated: ") + internetDateTime(QDateTime::currentDateTime()),
        QStringLiteral("App: Keelwick ") + AppIdentity::versionString(),
        QStringLiteral("System: ") + systemDescription(),
        QStringLiteral("Machine: ") + machineDescription() + QStringLiteral(", ") +
            QString::number(activeProcessorCount()) + QStringLiteral(" cores, ") +
            QString::number(physicalMemoryBytes() >> 30) + QStringLiteral(" GB RAM"),
    };
}

QString DiagnosticsLog::machineDescription() {
    return machineDescription(kDmiFolder);
}

QString DiagnosticsLog::machineDescription(const QString& dmiFolder) {
    const QString product = dmiText(dmiFolder, QStringLiteral("product_name"));
    if (product.isEmpty()) {
        return QStringLiteral("unknown");
    }
    const QString vendor = dmiText(dmiFolder, QStringLiteral("sys_vendor"));
    if (vendor.isEmpty() || product.startsWith(vendor)) {
        return product;
    }
    return vendor + u' ' + product;
}

}  // namespace keelwick
