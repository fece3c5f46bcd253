#include "pipeline/RescueError.h"

#include <QStringList>
#include <QTextBoundaryFinder>

namespace keelwick {
namespace {

constexpr int kSummaryLength = 140;

// Horizontal white space only: line breaks other than the line feed stay.
QString trimSpacesAndTabs(QStringView text) {
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin).toString();
}

// The text of the first `count` grapheme clusters, or nothing when the text has no more.
std::optional<QString> firstGraphemes(const QString& text, int count) {
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    for (int seen = 0; seen < count; ++seen) {
        if (boundaries.toNextBoundary() < 0) {
            return std::nullopt;
        }
    }
    const qsizetype end = boundaries.position();
    if (end >= text.size()) {
        return std::nullopt;
    }
    return text.left(end);
}

}  // namespace

RescueError RescueError::archiveUnreadable(QString toolMessage) {
    return {Kind::archiveUnreadable, std::move(toolMessage)};
}

RescueError RescueError::archiveTimedOut(qint64 seconds) {
    return {Kind::archiveTimedOut, seconds};
}

RescueError RescueError::cannotCreateOutputFolder(QString path) {
    return {Kind::cannotCreateOutputFolder, std::move(path)};
}

RescueError RescueError::destinationAlreadyExists(QString path) {
    return {Kind::destinationAlreadyExists, std::move(path)};
}

RescueError RescueError::invalidArchive() {
    return {Kind::invalidArchive, {}};
}

RescueError RescueError::missingDataPlist() {
    return {Kind::missingDataPlist, {}};
}

RescueError RescueError::unsupportedPropertyList() {
    return {Kind::unsupportedPropertyList, {}};
}

RescueError RescueError::previewImageRenderingFailed() {
    return {Kind::previewImageRenderingFailed, {}};
}

QString RescueError::text() const {
    const QString* text = std::get_if<QString>(&payload_);
    return text ? *text : QString();
}

qint64 RescueError::seconds() const {
    const qint64* seconds = std::get_if<qint64>(&payload_);
    return seconds ? *seconds : 0;
}

QString RescueError::domain() {
    return QStringLiteral("Vellix.RescueError");
}

QString RescueError::errorDescription() const {
    switch (kind_) {
        case Kind::archiveUnreadable:
            return QStringLiteral("This Graphic/iDraw file could not be unpacked: ") +
                   summarize(text()) + QStringLiteral(" Full details are in report.txt.");
        case Kind::archiveTimedOut:
            return QStringLiteral(
                       "This Graphic/iDraw file did not unpack within %1 seconds and "
                       "was skipped. It is most likely damaged or password protected.")
                .arg(seconds());
        case Kind::cannotCreateOutputFolder:
            return QStringLiteral("Could not create the output folder: ") + text();
        case Kind::destinationAlreadyExists:
            return QStringLiteral("Destination file already exists: ") + text() +
                   QStringLiteral(
                       ". Turn on \u201COverwrite destination files\u201D to replace it.");
        case Kind::invalidArchive:
            return QStringLiteral("This Graphic/iDraw file could not be opened as an archive.");
        case Kind::missingDataPlist:
            return QStringLiteral("This Graphic/iDraw file does not contain data.xml.");
        case Kind::unsupportedPropertyList:
            return QStringLiteral("This Graphic/iDraw file contains an unsupported property list.");
        case Kind::previewImageRenderingFailed:
            return QStringLiteral(
                "The SVG was created in memory, but its PNG preview image could not be rendered.");
    }
    return {};
}

QString RescueError::summarize(const QString& text) {
    QStringList kept;
    for (QStringView piece : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        const QString line = trimSpacesAndTabs(piece);
        // Bracketed lines are the tool's own bookkeeping, such as "[archive.idraw]".
        if (!line.isEmpty() && !(line.startsWith(u'[') && line.endsWith(u']'))) {
            kept << line;
        }
    }
    const QString joined = kept.join(u' ');
    const std::optional<QString> cut = firstGraphemes(joined, kSummaryLength);
    return cut ? *cut + QChar(0x2026) : joined;  // …
}

}  // namespace keelwick
