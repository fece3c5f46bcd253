#include "workflow/DrawingScan.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>

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
    if (!candidate.baseFolder) {
        return candidate.url;
    }
    QString path = candidate.url;
    return path.remove(*candidate.baseFolder + u'/');
}

QList<RescueCandidate> scanFolder(const QString& folder) {
    // The base folder is kept absolute and without a trailing "/", so that display paths
    // come out relative to it.
    const QString base = standardizedPath(folder);
    QList<RescueCandidate> candidates;
    if (!QFileInfo(base).isDir()) {
        return candidates;
    }
    // Without QDir::Hidden the iterator neither lists hidden items nor descends into hidden
    // folders. Symbolic links to folders are listed but not followed, so a link back up the
    // tree cannot loop and a linked tree is not scanned twice. QDir::System keeps broken
    // links and special files, which count when named like a drawing. A folder that cannot
    // be read lists nothing and the iteration goes on.
    QDirIterator iterator(base, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                          QDirIterator::Subdirectories);
    while (iterator.hasNext()) {
        const QString path = iterator.next();
        if (hasDrawingExtension(path)) {
            candidates.append(RescueCandidate(path, base));
        }
    }
    return candidates;
}

QList<RescueCandidate> scan(const QStringList& urls) {
    QList<RescueCandidate> candidates;
    for (const QString& url : urls) {
        const QFileInfo item(url);  // follows symbolic links, as the existence test does
        if (url.isEmpty() || !item.exists()) {
            continue;
        }
        if (item.isDir()) {
            candidates.append(scanFolder(url));
        } else if (hasDrawingExtension(url)) {
            candidates.append(RescueCandidate(item.absoluteFilePath()));
        }
    }
    return candidates;
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
