#include "pipeline/DrawingArchive.h"

#include "pipeline/RunFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <vector>

namespace keelwick {
namespace {

constexpr int kListedEntryLines = 12;
constexpr qint32 kUnzipFoundNoArchive = 9;
constexpr qint32 kUnzipBadPassword = 82;
const QSet<qint32> kUnzipSuccess{0, 1};

const QString kPasswordProtected = QStringLiteral("The archive is password protected.");

// What `unzip -Z -l` says about an archive.
struct Listing {
    /// The file unzip opened, from the "Archive:" line.
    QString openedArchive;
    /// The entry count the archive's directory declares.
    qint64 declaredEntries = 0;
    qint64 entries = 0;
    /// The sum of the listed uncompressed sizes, saturating.
    quint64 unpackedBytes = 0;
    bool hasEncryptedEntry = false;
    /// Every entry is stored or deflated, the methods whose output the archive's size bounds.
    bool onlyStoredOrDeflated = true;
    /// Names of the entries that are symbolic links, as listed.
    QStringList symbolicLinks;
};

struct ListingRun {
    ZipTool::Outcome outcome;
    std::optional<Listing> listing;
    /// Why the listing failed, in unzip's words; empty when it did not say.
    QString failureText;
};

const QString kArchiveLinePrefix = QStringLiteral("Archive:  ");

QString newTemporaryPath(const QString& prefix, const QString& suffix) {
    return RunFolder::newPath(prefix, suffix);
}

quint64 saturatingAdd(quint64 sum, quint64 value) {
    return value > std::numeric_limits<quint64>::max() - sum ? std::numeric_limits<quint64>::max()
                                                             : sum + value;
}

// Reads the lines of one listing. Made for each listing, so that threads share no
// expression.
struct ListingReader {
    // One entry line: permissions, version, host, size, type and flags ("t" or "b", upper
    // case when encrypted), compressed size, method, date, time, then one space and the
    // name, which may hold spaces of its own.
    const QRegularExpression entryLine{
        QStringLiteral(R"(^(\S+)\s+\S+\s+\S+\s+(\d+)\s+(\S)\S\s+\d+\s+(\S+)\s+\S+\s+\S+ (.*)$)")};
    const QRegularExpression entryCountLine{QStringLiteral(R"(number of entries: (\d+))")};

    void read(const QString& line, Listing& listing) const;
};

void ListingReader::read(const QString& line, Listing& listing) const {
    if (line.startsWith(kArchiveLinePrefix)) {
        listing.openedArchive = line.sliced(kArchiveLinePrefix.size());
        return;
    }
    const QRegularExpressionMatch entry = entryLine.match(line);
    if (!entry.hasMatch()) {
        const QRegularExpressionMatch count = entryCountLine.match(line);
        if (count.hasMatch() && listing.declaredEntries == 0) {
            listing.declaredEntries = count.captured(1).toLongLong();
        }
        return;
    }
    ++listing.entries;
    bool isNumber = false;
    const quint64 size = entry.captured(2).toULongLong(&isNumber);
    // A size too large for 64 bits is no smaller than the largest one.
    listing.unpackedBytes =
        saturatingAdd(listing.unpackedBytes, isNumber ? size : std::numeric_limits<quint64>::max());
    const QString type = entry.captured(3);
    if (type == u"T" || type == u"B") {
        listing.hasEncryptedEntry = true;
    }
    const QString method = entry.captured(4);
    if (method != u"stor" && !method.startsWith(u"def")) {
        listing.onlyStoredOrDeflated = false;
    }
    if (entry.captured(1).startsWith(u'l')) {
        listing.symbolicLinks << entry.captured(5);
    }
}

std::optional<Listing> readListing(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    Listing listing;
    const ListingReader reader;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        // Names may end in spaces: only the line feed goes.
        if (line.endsWith('\n')) {
            line.chop(1);
        }
        reader.read(QString::fromUtf8(line), listing);
    }
    return listing;
}

// zipinfo writes its complaints to standard output, with the listing: the text without
// the "Archive:" line says why the listing failed.
QString failureTextOfListing(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split(u'\n');
    lines.removeIf([](const QString& line) { return line.startsWith(kArchiveLinePrefix); });
    return ZipTool::toolMessage(lines.join(u'\n'));
}

ListingRun listArchive(const QString& archive, const UnpackRules& rules) {
    const QString listingPath =
        newTemporaryPath(QStringLiteral("Keelwick-listing-"), QStringLiteral(".txt"));
    ListingRun run;
    run.outcome = ZipTool::run(
        rules.tool, {QStringLiteral("-Z"), QStringLiteral("-l"), ZipTool::archiveArgument(archive)},
        listingPath, rules.inspectionTimeout, kUnzipSuccess);
    if (run.outcome.succeeded) {
        run.listing = readListing(listingPath);
        if (!run.listing) {
            run.failureText =
                QStringLiteral("The list of the archive's entries could not be read.");
        }
    } else if (!run.outcome.timedOut) {
        run.failureText =
            run.outcome.message.isEmpty() ? failureTextOfListing(listingPath) : run.outcome.message;
    }
    QFile::remove(listingPath);
    return run;
}

qint64 wholeSeconds(double seconds) {
    return static_cast<qint64>(std::llround(seconds));
}

// The error of a tool run that did not succeed, as the unpacking reports it.
RescueError failureOfRun(const ZipTool::Outcome& outcome, double timeout, const QString& message) {
    if (outcome.timedOut) {
        return RescueError::archiveTimedOut(wholeSeconds(timeout));
    }
    if (outcome.exitStatus == kUnzipBadPassword) {
        return RescueError::archiveUnreadable(kPasswordProtected);
    }
    if (outcome.exitStatus == kUnzipFoundNoArchive || message.isEmpty()) {
        return RescueError::invalidArchive();
    }
    return RescueError::archiveUnreadable(message);
}

// "2 GB", "3.1 GB", "1.5 MB", "700 bytes": binary units, one decimal rounded up so that a
// size just over a limit never reads as the limit itself.
QString sizeText(quint64 bytes) {
    struct Unit {
        quint64 size;
        const char* name;
    };
    for (const Unit unit : {Unit{quint64(1) << 30, "GB"}, Unit{quint64(1) << 20, "MB"},
                            Unit{quint64(1) << 10, "KB"}}) {
        if (bytes >= unit.size) {
            const double tenths =
                std::ceil(static_cast<double>(bytes) * 10.0 / static_cast<double>(unit.size));
            const bool isWhole = std::fmod(tenths, 10.0) == 0.0;
            return QString::number(tenths / 10.0, 'f', isWhole ? 0 : 1) + u' ' +
                   QLatin1String(unit.name);
        }
    }
    return QString::number(bytes) + QStringLiteral(" bytes");
}

QString entriesText(qint64 count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" entry") : QStringLiteral(" entries"));
}

// The refusals decided by the listing alone, before anything is unpacked.
std::optional<RescueError> refusalOfListing(const Listing& listing, const UnpackRules& rules) {
    if (listing.hasEncryptedEntry) {
        return RescueError::archiveUnreadable(kPasswordProtected);
    }
    const qint64 entries = std::max(listing.entries, listing.declaredEntries);
    if (entries > rules.maxEntries) {
        return RescueError::archiveUnreadable(
            QStringLiteral("The archive holds %1, more than the %2 a drawing may hold.")
                .arg(entriesText(entries))
                .arg(rules.maxEntries));
    }
    if (listing.unpackedBytes > static_cast<quint64>(rules.maxUnpackedBytes)) {
        return RescueError::archiveUnreadable(
            QStringLiteral("The archive would unpack to %1 in %2, more than the %3 a drawing "
                           "may hold.")
                .arg(sizeText(listing.unpackedBytes), entriesText(entries),
                     sizeText(static_cast<quint64>(rules.maxUnpackedBytes))));
    }
    return std::nullopt;
}

// At most 12 names, one a line, then "… and N more".
QString nameList(const QStringList& names) {
    QStringList lines = names.mid(0, kListedEntryLines);
    if (names.size() > lines.size()) {
        lines << QStringLiteral("\u2026 and %1 more").arg(names.size() - lines.size());
    }
    return lines.join(u'\n');
}

QStringList exclusionArguments(const QStringList& names) {
    if (names.isEmpty()) {
        return {};
    }
    QStringList arguments{QStringLiteral("-x")};
    for (const QString& name : names) {
        arguments << ZipTool::entryPattern(name);
    }
    return arguments;
}

void logRun(DiagnosticsLog& diagnostics, const QString& name, const ZipTool::Outcome& outcome,
            const QString& output) {
    diagnostics.add(name + QStringLiteral(" command"), outcome.command);
    diagnostics.add(name + QStringLiteral(" result"), outcome.diagnosticSummary());
    diagnostics.add(name + QStringLiteral(" output"), output);
}

// Makes sure the owner may read and write (and, for folders, enter) what unzip made: an
// archive can carry modes such as d---------, which would keep the folder from being read
// and removed.
void grantOwner(const QByteArray& path, mode_t mode, mode_t needed) {
    if ((mode & needed) != needed) {
        ::chmod(path.constData(), (mode & 07777) | needed);
    }
}

// Walks the unpacked folder without following anything: every item is examined with
// lstat, so a link is seen as a link, and names are handled as the bytes they are. Links
// and special files are removed; returns their paths relative to the folder.
QStringList secureUnpackedFolder(const QString& folder) {
    const QByteArray root = QFile::encodeName(folder);
    QStringList removed;
    std::vector<QByteArray> pending{QByteArray()};
    while (!pending.empty()) {
        const QByteArray relative = pending.back();
        pending.pop_back();
        const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            continue;
        }
        grantOwner(path, status.st_mode, S_IRWXU);
        DIR* listing = ::opendir(path.constData());
        if (listing == nullptr) {
            continue;
        }
        while (const dirent* item = ::readdir(listing)) {
            const QByteArray name(item->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            const QByteArray itemRelative = relative.isEmpty() ? name : relative + '/' + name;
            const QByteArray itemPath = root + '/' + itemRelative;
            struct stat itemStatus {};
            if (::lstat(itemPath.constData(), &itemStatus) != 0) {
                continue;
            }
            if (S_ISDIR(itemStatus.st_mode)) {
                pending.push_back(itemRelative);
            } else if (S_ISREG(itemStatus.st_mode)) {
                grantOwner(itemPath, itemStatus.st_mode, S_IRUSR | S_IWUSR);
            } else {
                ::unlink(itemPath.constData());
                removed << QFile::decodeName(itemRelative);
            }
        }
        ::closedir(listing);
    }
    return removed;
}

/// Unpacks the archive once without writing anything, counting what comes out, and refuses
/// it when that passes the limit or takes too long.
std::optional<RescueError> refusalOfMeasuredSize(const QString& archivePath,
                                                 const QStringList& exclusions,
                                                 const Listing& listing, const UnpackRules& rules,
                                                 DiagnosticsLog& diagnostics) {
    const ZipTool::OutputCount measured =
        ZipTool::countOutput(rules.tool,
                             QStringList{QStringLiteral("-p"), QStringLiteral("-P"), QString(),
                                         ZipTool::archiveArgument(archivePath)} +
                                 exclusions,
                             rules.maxUnpackedBytes, rules.inspectionTimeout, kUnzipSuccess);
    diagnostics.add(QStringLiteral("size check"),
                    (measured.exceededLimit ? QStringLiteral("more than ") : QString()) +
                        QString::number(measured.bytes) + QStringLiteral(" bytes, ") +
                        measured.outcome.diagnosticSummary());
    if (measured.outcome.timedOut) {
        return RescueError::archiveTimedOut(wholeSeconds(rules.inspectionTimeout));
    }
    if (measured.exceededLimit) {
        return RescueError::archiveUnreadable(
            QStringLiteral("The archive would unpack to more than the %1 a drawing may hold, "
                           "though its listing claims %2.")
                .arg(sizeText(static_cast<quint64>(rules.maxUnpackedBytes)),
                     sizeText(listing.unpackedBytes)));
    }

    return std::nullopt;
}

}  // namespace

std::optional<RescueError> extractIDraw(const QString& archive, const QString& folder,
                                        DiagnosticsLog& diagnostics, const UnpackRules& rules) {
    // Absolute paths, so that no path can pass for one of unzip's options.
    const QString archivePath = QFileInfo(archive).absoluteFilePath();
    const QString destination = QFileInfo(folder).absoluteFilePath();

    const ListingRun listed = listArchive(archivePath, rules);
    logRun(diagnostics, QStringLiteral("listing"), listed.outcome,
           listed.outcome.succeeded ? listed.outcome.message : listed.failureText);
    if (!listed.listing) {
        return failureOfRun(listed.outcome, rules.inspectionTimeout, listed.failureText);
    }
    const Listing& listing = *listed.listing;
    // unzip tries ARCHIVE.zip and ARCHIVE.ZIP when ARCHIVE is no zip archive: a neighbour
    // must never be unpacked in the drawing's place.
    if (listing.openedArchive == archivePath + QStringLiteral(".zip") ||
        listing.openedArchive == archivePath + QStringLiteral(".ZIP")) {
        diagnostics.add(QStringLiteral("listed archive"), listing.openedArchive);
        return RescueError::invalidArchive();
    }
    diagnostics.add(QStringLiteral("listed entries"), entriesText(listing.entries) +
                                                          QStringLiteral(", ") +
                                                          QString::number(listing.unpackedBytes) +
                                                          QStringLiteral(" bytes uncompressed"));
    if (auto refusal = refusalOfListing(listing, rules)) {
        return refusal;
    }
    diagnostics.add(QStringLiteral("symbolic links left out"), nameList(listing.symbolicLinks));
    const QStringList exclusions = exclusionArguments(listing.symbolicLinks);

    // Deflate expands at most 1032-fold and storing not at all, so a small archive of such
    // entries cannot exceed the limit whatever its listing claims: the counting run, which
    // costs as much as the unpacking itself, is needed only for larger or other archives.
    const qint64 archiveBytes = QFileInfo(archivePath).size();
    constexpr qint64 kMaximumDeflateRatio = 1032;
    if (listing.onlyStoredOrDeflated &&
        archiveBytes <= rules.maxUnpackedBytes / kMaximumDeflateRatio) {
        diagnostics.add(QStringLiteral("size check"),
                        QStringLiteral("not needed: %1 bytes of stored or deflated entries unpack "
                                       "to at most %2 bytes")
                            .arg(archiveBytes)
                            .arg(archiveBytes * kMaximumDeflateRatio));
    } else if (auto refusal =
                   refusalOfMeasuredSize(archivePath, exclusions, listing, rules, diagnostics)) {
        return refusal;
    }

    const ZipTool::Outcome outcome = ZipTool::extract(archivePath, destination, rules.unpackTimeout,
                                                      listing.symbolicLinks, rules.tool);
    logRun(diagnostics, QStringLiteral("unpack"), outcome, outcome.message);
    diagnostics.add(QStringLiteral("links removed after unpacking"),
                    nameList(secureUnpackedFolder(destination)));
    if (outcome.succeeded) {
        return std::nullopt;
    }
    return failureOfRun(outcome, rules.unpackTimeout, outcome.message);
}

QString unpackedEntryDescription(const QString& folder) {
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir() || !folderInfo.isReadable()) {
        return QStringLiteral("could not be listed");
    }
    const QString rootPrefix = folderInfo.canonicalFilePath() + u'/';
    QDirIterator items(folder,
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    qint64 total = 0;
    QStringList lines;
    while (items.hasNext()) {
        const QFileInfo item = items.nextFileInfo();
        ++total;
        if (lines.size() >= kListedEntryLines) {
            continue;
        }
        // A link is named by its own path (its folder resolved) and never read through.
        const bool isLink = item.isSymLink();
        const qint64 size = !isLink && item.isFile() ? item.size() : 0;
        QString path =
            isLink ? item.dir().canonicalPath() + u'/' + item.fileName() : item.canonicalFilePath();
        if (path.isEmpty()) {
            path = item.absoluteFilePath();
        }
        if (path.startsWith(rootPrefix)) {
            path = path.sliced(rootPrefix.size());
        }
        lines << path + QStringLiteral(" (") + QString::number(size) + QStringLiteral(" bytes)");
    }
    if (total == 0) {
        return QStringLiteral("none \u2014 the archive unpacked to an empty folder");
    }
    QString text = QString::number(total) + QStringLiteral(" total\n") + lines.join(u'\n');
    if (total > lines.size()) {
        text += QStringLiteral("\n\u2026 and ") + QString::number(total - lines.size()) +
                QStringLiteral(" more");
    }
    return text;
}

}  // namespace keelwick
