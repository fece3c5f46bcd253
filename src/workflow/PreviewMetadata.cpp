#include "workflow/PreviewMetadata.h"

#include "convert/VellixConverter.h"
#include "pipeline/DrawingDocument.h"
#include "pipeline/FileKind.h"
#include "pipeline/RescueError.h"
#include "pipeline/RunFolder.h"
#include "pipeline/ZipTool.h"
#include "workflow/DrawingScan.h"

#include <QFile>

#include <algorithm>

namespace keelwick {

namespace {

const QString kUnzip = QStringLiteral("/usr/bin/unzip");
// unzip's 1 is "completed with warnings", which still delivered the output.
const QSet<qint32> kAcceptedStatuses{0, 1};

// A temporary file in the program run's folder that is removed when the operation that
// made it ends, whether it succeeded or not (a failed removal is ignored).
class TemporaryOutput {
  public:
    TemporaryOutput(const QString& prefix, const QString& suffix)
        : path_(RunFolder::newPath(prefix, suffix)) {}
    ~TemporaryOutput() { QFile::remove(path_); }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const QString& path() const { return path_; }

    std::optional<QByteArray> read() const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        return file.readAll();
    }

  private:
    QString path_;
};

// Runs unzip with its output captured in a fresh temporary file; absent unless it succeeded.
std::optional<QByteArray> unzipOutput(const QStringList& arguments, const QString& prefix,
                                      const QString& suffix) {
    const TemporaryOutput output(prefix, suffix);
    const ZipTool::Outcome outcome =
        ZipTool::run(kUnzip, arguments, output.path(), kAnalysisToolTimeout, kAcceptedStatuses);
    if (!outcome.succeeded) {
        return std::nullopt;
    }
    return output.read();
}

bool isNewline(char16_t character) {
    switch (character) {
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
        case u'\u0085':
        case u'\u2028':
        case u'\u2029':
            return true;
        default:
            return false;
    }
}

bool isDataFileEntry(const QString& name) {
    const QString lowered = name.toLower();
    return lowered == u"data.xml" || lowered.endsWith(u"/data.xml");
}

}  // namespace

QStringList splitEntryLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isNewline(text.at(i).unicode())) {
            if (i > start) {
                lines.append(text.mid(start, i - start));
            }
            start = i + 1;
        }
    }
    return lines;
}

std::optional<QStringList> zipEntries(const QString& archive) {
    const std::optional<QByteArray> listing =
        unzipOutput({QStringLiteral("-Z1"), ZipTool::archiveArgument(archive)},
                    QStringLiteral("Keelwick-entries-"), QStringLiteral(".txt"));
    if (!listing) {
        return std::nullopt;
    }
    // fromUtf8 replaces invalid sequences with U+FFFD.
    return splitEntryLines(QString::fromUtf8(*listing));
}

std::optional<QByteArray> zipData(const QString& archive, const QString& entry) {
    return unzipOutput(
        {QStringLiteral("-p"), ZipTool::archiveArgument(archive), ZipTool::entryPattern(entry)},
        QStringLiteral("Keelwick-preview-"), QStringLiteral(".jpg"));
}

int previewEntryScore(const QString& name) {
    const QString lowered = name.toLower();
    if (lowered.contains(u"preview")) {
        return 0;
    }
    if (lowered.contains(u"quicklook")) {
        return 2;
    }
    return 3;
}

bool precedesAsPreview(const QString& left, const QString& right) {
    const int leftScore = previewEntryScore(left);
    const int rightScore = previewEntryScore(right);
    if (leftScore != rightScore) {
        return leftScore < rightScore;
    }
    const int byName = localizedStandardCompare(lastPathComponent(left), lastPathComponent(right));
    if (byName != 0) {
        return byName < 0;
    }
    return localizedStandardCompare(left, right) < 0;
}

std::optional<QByteArray> previewJPEGData(const QString& archive, const QStringList& entries) {
    QStringList pictures;
    for (const QString& entry : entries) {
        const QString lowered = entry.toLower();
        if (lowered.endsWith(u".jpg") || lowered.endsWith(u".jpeg")) {
            pictures.append(entry);
        }
    }
    if (pictures.isEmpty()) {
        return std::nullopt;
    }
    return zipData(archive, *std::min_element(pictures.begin(), pictures.end(), precedesAsPreview));
}

qint64 embeddedImageCount(const QStringList& entries) {
    return std::count_if(entries.begin(), entries.end(), [](const QString& entry) {
        const QString lowered = entry.toLower();
        return !lowered.endsWith(u'/') &&
               (lowered.startsWith(u"images/") || lowered.contains(u"/images/"));
    });
}

QStringList missingFontNames(const PropertyListDictionary& document,
                             const InstalledFonts& installedFonts) {
    return missingFontNames(VellixConverter::usedFonts(document), installedFonts);
}

PreviewMetadata previewMetadata(const QString& archive, const InstalledFonts& installedFonts) {
    PreviewMetadata metadata;
    if (std::optional<PipelineError> error = notARegularFileError(archive)) {
        metadata.fontInspectionError = error->description;
        return metadata;
    }
    const std::optional<QStringList> entries = zipEntries(archive);
    if (!entries) {
        metadata.fontInspectionError = RescueError::invalidArchive().errorDescription();
        return metadata;
    }
    metadata.previewJPEGData = previewJPEGData(archive, *entries);
    metadata.embeddedImageCount = embeddedImageCount(*entries);

    const auto dataEntry = std::find_if(entries->begin(), entries->end(), isDataFileEntry);
    if (dataEntry == entries->end()) {
        metadata.fontInspectionError = RescueError::missingDataPlist().errorDescription();
        return metadata;
    }
    const std::optional<QByteArray> data = zipData(archive, *dataEntry);
    if (!data) {
        metadata.fontInspectionError = RescueError::missingDataPlist().errorDescription();
        return metadata;
    }
    // The reader's error describes bytes that are no property list; a root that is not a
    // dictionary comes back as the unsupported-property-list error.
    const DrawingDocument document = DrawingDocument::parse(*data);
    if (!document.succeeded()) {
        metadata.fontInspectionError = document.error()->description;
        return metadata;
    }
    metadata.missingFonts = missingFontNames(document.dictionary(), installedFonts);
    return metadata;
}

}  // namespace keelwick
