#include "workflow/DrawingScan.h"

#include "pipeline/NativePath.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace keelwick {

namespace {

const QString kDrawingExtension = QStringLiteral("idraw");

// A collator is costly to make and not safe to share between threads, so each thread keeps
// its own. Under the C locale Qt compares code units and ignores the numeric mode, so that
// locale (a bare environment, a test run) is replaced by English, which keeps the order a
// file browser shows.
const QCollator& standardCollator() {
    thread_local const QCollator collator = [] {
        QLocale locale;
        if (locale.language() == QLocale::C) {
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        }
        QCollator made(locale);
        made.setNumericMode(true);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return collator;
}

}  // namespace

int localizedStandardCompare(const QString& left, const QString& right) {
    return standardCollator().compare(left, right);
}

QString lastPathComponent(const QString& path) {
    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    return components.isEmpty() ? path : components.last();
}

QString pathExtension(const QString& path) {
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {
        return {};
    }
    return name.mid(dot + 1);
}

bool hasDrawingExtension(const QString& path) {
    return pathExtension(path).toLower() == kDrawingExtension;
}

QString displayPath(const RescueCandidate& candidate) {
    return readablePath(pathBelowBaseFolder(candidate).value_or(candidate.url));
}

void ScanFindings::append(ScanFindings&& more) {
    candidates.append(std::move(more.candidates));
    unreadableFolders.append(std::move(more.unreadableFolders));
}

namespace {

bool isFolder(const QString& path) {
    struct stat status {};
    return ::stat(nativeBytes(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

/// True for an entry that is a folder itself, not a link to one: links to folders are not
/// followed, so a link back up the tree cannot loop and a linked tree is not scanned twice.
bool isRealFolder(const QByteArray& folder, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) {
        return entry.d_type == DT_DIR;
    }
    struct stat status {};
    const QByteArray path = folder + '/' + entry.d_name;
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

/// Lists one folder: drawings go to the findings, visible sub-folders to `pending`.
void listFolder(const QString& folder, const QString& base, ScanFindings& found,
                QStringList& pending) {
    // The listing works on bytes, so that names that are not UTF-8 are found and kept exactly.
    const QByteArray folderBytes = nativeBytes(folder);
    DIR* listing = ::opendir(folderBytes.constData());
    if (!listing) {
        found.unreadableFolders.append(folder);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.') {
            continue;  // hidden items, and "." and ".."
        }
        const QString path = folder + u'/' + pathFromNativeBytes(entry->d_name);
        // Anything named like a drawing counts, whatever it is; later steps say what it is not.
        if (hasDrawingExtension(path)) {
            found.candidates.append(RescueCandidate(path, base));
        }
        if (isRealFolder(folderBytes, *entry)) {
            pending.append(path);
        }
    }
    ::closedir(listing);
}

}  // namespace

ScanFindings scanFolder(const QString& folder) {
    // The base folder is kept absolute and without a trailing "/", so that display paths
    // come out relative to it.
    const QString base = standardizedPath(folder);
    ScanFindings found;
    if (!isFolder(base)) {
        return found;
    }
    // Depth first with a stack of its own: a deep tree cannot exhaust the thread's stack, and
    // each folder is closed before its sub-folders are opened.
    QStringList pending{base};
    while (!pending.isEmpty()) {
        const QString next = pending.takeLast();
        listFolder(next, base, found, pending);
    }
    return found;
}

ScanFindings scan(const QStringList& urls) {
    ScanFindings found;
    for (const QString& url : urls) {
        struct stat status {};  // follows symbolic links, as the existence test does
        if (url.isEmpty() || ::stat(nativeBytes(url).constData(), &status) != 0) {
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            found.append(scanFolder(url));
        } else if (hasDrawingExtension(url)) {
            found.candidates.append(RescueCandidate(QFileInfo(url).absoluteFilePath()));
        }
    }
    return found;
}

QString standardizedPath(const QString& path) {
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path
                                                      : QDir::current().absoluteFilePath(path));
}

QList<RescueCandidate> deduplicated(const QList<RescueCandidate>& candidates) {
    QList<RescueCandidate> kept;
    QSet<QString> seen;
    for (const RescueCandidate& candidate : candidates) {
        const QString path = standardizedPath(candidate.url);
        if (!seen.contains(path)) {
            seen.insert(path);
            kept.append(candidate);
        }
    }
    return kept;
}

QList<RescueCandidate> sortedByDisplayPath(QList<RescueCandidate> candidates) {
    // Each display path is computed once rather than in every comparison.
    QList<std::pair<QString, qsizetype>> keys;
    keys.reserve(candidates.size());
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        keys.append({displayPath(candidates[i]), i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& left, const auto& right) {
        return localizedStandardCompare(left.first, right.first) < 0;
    });
    QList<RescueCandidate> sorted;
    sorted.reserve(candidates.size());
    for (const auto& key : keys) {
        sorted.append(std::move(candidates[key.second]));
    }
    return sorted;
}

}  // namespace keelwick
