#include "pipeline/RescueOutputs.h"

#include "convert/FontLookup.h"
#include "pipeline/AtomicWrite.h"
#include "pipeline/NativePath.h"

#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace keelwick {

namespace {

constexpr qsizetype kLongestFileName = 255;  // bytes, as Linux file systems allow

QString withoutExtension(const QString& path) {
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > nameStart ? path.left(dot) : path;
}

std::error_code lastSystemError() {
    return {errno, std::generic_category()};
}

bool exists(const QString& path) {
    struct stat status {};
    return ::lstat(nativeBytes(path).constData(), &status) == 0;
}

/// A failed write, named by the file the person would have got, not by its staged copy.
PipelineError writeError(const QString& target, const WriteFailure& failure) {
    PipelineError error =
        PipelineError::fileSystem(failure.error, QStringLiteral("Could not write"), target);
    error.description =
        QStringLiteral("Could not write “") + target + QStringLiteral("”: ") + failure.reason;
    return error;
}

/// `name` made unique among `taken` (compared without letter case, for the file systems of
/// memory cards and shared drives) by a number before its extension: "a.png", "a (2).png".
QString uniqueName(const QString& name, QSet<QString>& taken) {
    QString candidate = name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int number = 2; taken.contains(candidate.toCaseFolded()); ++number) {
        candidate = stem + QStringLiteral(" (") + QString::number(number) + u')' + extension;
    }
    taken.insert(candidate.toCaseFolded());
    return candidate;
}

std::optional<QByteArray> readRegularFile(const QByteArray& path) {
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[65536];
    ssize_t count = 0;
    while ((count = ::read(descriptor, buffer, sizeof buffer)) > 0 ||
           (count < 0 && errno == EINTR)) {
        if (count > 0) {
            bytes.append(buffer, count);
        }
    }
    ::close(descriptor);
    if (count < 0) {
        return std::nullopt;
    }
    return bytes;
}

/// The visible regular files of the unpacked images folder, by their archive names. Links
/// are never followed, so nothing outside the drawing's own folder is read.
QList<std::pair<QString, QByteArray>> imageFiles(const QString& folder) {
    QList<std::pair<QString, QByteArray>> files;
    const QByteArray folderBytes = nativeBytes(folder);
    DIR* listing = ::opendir(folderBytes.constData());
    if (!listing) {
        return files;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const QByteArray path = folderBytes + '/' + entry->d_name;
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
            continue;
        }
        if (std::optional<QByteArray> bytes = readRegularFile(path)) {
            files.append({pathFromNativeBytes(entry->d_name), std::move(*bytes)});
        }
    }
    ::closedir(listing);
    std::sort(files.begin(), files.end(),
              [](const auto& left, const auto& right) { return left.first < right.first; });
    return files;
}

/// One target, its new version in the staging folder, and where its old version waits while
/// the new one is moved in.
struct Placement {
    QString target;
    QByteArray staged;
    QByteArray backup;
    bool wasReplaced = false;
    bool isPlaced = false;
};

/// The hidden folder beside the targets in which a drawing's new files are made, so that
/// moving them into place is a rename on one file system. Removed with what is left in it.
class StagingFolder {
  public:
    explicit StagingFolder(const QString& parent)
        : path_(parent + QStringLiteral("/.Keelwick-") +
                QUuid::createUuid().toString(QUuid::WithoutBraces)) {}
    ~StagingFolder() {
        if (created_) {
            std::error_code ignored;
            std::filesystem::remove_all(std::filesystem::path(nativeBytes(path_).toStdString()),
                                        ignored);
        }
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    std::optional<PipelineError> create() {
        if (::mkdir(nativeBytes(path_).constData(), 0700) != 0) {
            return PipelineError::fileSystem(lastSystemError(),
                                             QStringLiteral("Could not create the folder"), path_);
        }
        created_ = true;
        return std::nullopt;
    }
    QString filePath(const QString& name) const { return path_ + u'/' + name; }

  private:
    QString path_;
    bool created_ = false;
};

class OutputWriter {
  public:
    OutputWriter(const RescueOutputs& outputs, const QString& parent)
        : outputs_(outputs), staging_(parent) {}

    Outcome<QList<WrittenOutput>> run() {
        if (auto error = staging_.create()) {
            return *error;
        }
        if (auto error = stageAll()) {
            return *error;
        }
        if (auto error = placeAll()) {
            undoPlacements();
            return *error;
        }
        return written_;
    }

  private:
    std::optional<PipelineError> stageFile(const QString& target, const QByteArray& bytes) {
        const QString staged = staging_.filePath(QString::number(placements_.size()));
        if (const std::optional<WriteFailure> failure = writeFileAtomically(staged, bytes)) {
            return writeError(target, *failure);
        }
        placements_.append({target, nativeBytes(staged), {}, false, false});
        written_.append({target, bytes.size()});
        return std::nullopt;
    }

    std::optional<PipelineError> stageImages(const QString& target, const QString& source) {
        const QString staged = staging_.filePath(QString::number(placements_.size()));
        if (::mkdir(nativeBytes(staged).constData(), 0755) != 0) {
            return PipelineError::fileSystem(lastSystemError(),
                                             QStringLiteral("Could not create the folder"), target);
        }
        placements_.append({target, nativeBytes(staged), {}, false, false});
        QSet<QString> taken;
        qint64 total = 0;
        for (const auto& [name, bytes] : imageFiles(source)) {
            const QString safeName = uniqueName(safeFileName(name), taken);
            if (const std::optional<WriteFailure> failure =
                    writeFileAtomically(staged + u'/' + safeName, bytes)) {
                return writeError(target + u'/' + safeName, *failure);
            }
            total += bytes.size();
        }
        written_.append({target, total});
        return std::nullopt;
    }

    std::optional<PipelineError> stageAll() {
        if (auto error = stageFile(outputs_.svgPath, outputs_.svg)) {
            return error;
        }
        if (outputs_.png) {
            const QString target = withoutExtension(outputs_.svgPath) + QStringLiteral(".png");
            if (auto error = stageFile(target, *outputs_.png)) {
                return error;
            }
        }
        if (outputs_.imagesFolder) {
            if (auto error =
                    stageImages(originalImagesPath(outputs_.svgPath), *outputs_.imagesFolder)) {
                return error;
            }
        }
        if (outputs_.fontNote) {
            if (auto error = stageFile(missingFontNotePath(outputs_.svgPath), *outputs_.fontNote)) {
                return error;
            }
        }
        return std::nullopt;
    }

    std::optional<PipelineError> placeAll() {
        for (qsizetype index = 0; index < placements_.size(); ++index) {
            Placement& placement = placements_[index];
            const QByteArray target = nativeBytes(placement.target);
            if (exists(placement.target)) {
                placement.backup = nativeBytes(
                    staging_.filePath(QStringLiteral("replaced-") + QString::number(index)));
                if (::rename(target.constData(), placement.backup.constData()) != 0) {
                    return PipelineError::fileSystem(
                        lastSystemError(), QStringLiteral("Could not replace"), placement.target);
                }
                placement.wasReplaced = true;
            }
            if (::rename(placement.staged.constData(), target.constData()) != 0) {
                return PipelineError::fileSystem(
                    lastSystemError(), QStringLiteral("Could not write"), placement.target);
            }
            placement.isPlaced = true;
        }
        return std::nullopt;
    }

    /// Takes the new files out again and puts the old ones back, last first.
    void undoPlacements() {
        for (auto placement = placements_.rbegin(); placement != placements_.rend(); ++placement) {
            const QByteArray target = nativeBytes(placement->target);
            if (placement->isPlaced) {
                ::rename(target.constData(), placement->staged.constData());
            }
            if (placement->wasReplaced) {
                ::rename(placement->backup.constData(), target.constData());
            }
        }
    }

    const RescueOutputs& outputs_;
    StagingFolder staging_;
    QList<Placement> placements_;
    QList<WrittenOutput> written_;
};

}  // namespace

QStringList RescueOutputs::targetPaths() const {
    QStringList paths{svgPath};
    if (png) {
        paths.append(withoutExtension(svgPath) + QStringLiteral(".png"));
    }
    if (imagesFolder) {
        paths.append(originalImagesPath(svgPath));
    }
    if (fontNote) {
        paths.append(missingFontNotePath(svgPath));
    }
    return paths;
}

QString originalImagesPath(const QString& svgPath) {
    return withoutExtension(svgPath) + QStringLiteral("_images");
}

QString missingFontNotePath(const QString& svgPath) {
    return withoutExtension(svgPath) + QStringLiteral("_missing-fonts.txt");
}

QString missingFontNote(const QStringList& fonts, const QString& drawingPath) {
    QStringList lines{QStringLiteral("Fonts this drawing uses that are not installed on this "
                                     "computer. Install them, then open the SVG again."),
                      QStringLiteral("Drawing: ") + readablePath(drawingPath)};
    for (const QString& font : fonts) {
        lines.append(QString());
        lines.append(font);
        for (const FontLookup::Source source : FontLookup::allSources) {
            if (const std::optional<QUrl> address = FontLookup::url(font, source)) {
                lines.append(QStringLiteral("  ") + FontLookup::title(source) +
                             QStringLiteral(": ") + address->toString(QUrl::FullyEncoded));
            }
        }
    }
    return lines.join(u'\n') + u'\n';
}

QString safeFileName(const QString& name) {
    QString safe = readablePath(name);
    for (QChar& character : safe) {
        const char16_t code = character.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == u'/' || code == u'\\') {
            character = u'_';
        }
    }
    for (qsizetype index = 0; index < safe.size() && safe[index] == u'.'; ++index) {
        safe[index] = u'_';  // no hidden file, and never "." or ".."
    }
    if (safe.isEmpty()) {
        return QStringLiteral("image");
    }
    // Shortened from the end of the stem, so that the extension stays.
    const qsizetype dot = safe.lastIndexOf(u'.');
    const QString extension = dot > 0 ? safe.mid(dot) : QString();
    QString stem = dot > 0 ? safe.left(dot) : safe;
    while ((stem + extension).toUtf8().size() > kLongestFileName && !stem.isEmpty()) {
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    }
    return stem.isEmpty() ? QStringLiteral("image") : stem + extension;
}

Outcome<QList<WrittenOutput>> writeRescueOutputs(const RescueOutputs& outputs, bool overwrite) {
    const QStringList targets = outputs.targetPaths();
    if (!overwrite) {
        for (const QString& target : targets) {
            if (exists(target)) {
                return PipelineError::from(RescueError::destinationAlreadyExists(target));
            }
        }
    }
    const QString parent = QFileInfo(outputs.svgPath).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(nativeBytes(parent).toStdString()),
                                        error);
    if (error) {
        return PipelineError::fileSystem(error, QStringLiteral("Could not create the folder"),
                                         parent);
    }
    return OutputWriter(outputs, parent).run();
}

}  // namespace keelwick
