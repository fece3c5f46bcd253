#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>

namespace keelwick {

/// The most characters of SVG text one drawing may produce: 256 Mi, as many bytes for the
/// ASCII that nearly all of it is. The text is held in memory several times over (as UTF-16
/// definitions, the assembled document, its UTF-8 form and the preview page), so a drawing
/// that asks for more fails instead of exhausting memory. Embedded images are counted by
/// their base64 length before they are encoded, so the memory is never taken; the whole text
/// is checked once more before the document is assembled.
inline constexpr std::int64_t kSVGTextBudget = std::int64_t{256} * 1024 * 1024;

/// An image file embedded in the SVG: its data is written once, and every image fill that
/// uses it refers to it.
struct EmbeddedImage {
    /// The media type the data was embedded as.
    QString mimeType;
    /// The entry of `SVGContext::defs` that holds the data: the first fill's pattern.
    qsizetype definition = 0;
    /// Where the data reference ("data:…") lies in that entry while the pattern holds it.
    qsizetype hrefStart = 0;
    qsizetype hrefLength = 0;
    /// The first fill's comment line, pattern id and placement.
    QString commentLine;
    QString firstPatternID;
    QString firstPlacement;
    /// The id of the data's own `image` definition, once fills with other placements draw it.
    std::optional<QString> imageID;
    /// The pattern id of each placement drawn so far.
    QHash<QString, QString> patternIDs;
};

/// The state of one SVG build. The caller makes it with `extractedRoot` set to the folder the
/// drawing was unpacked into, `defs` empty and `nextID` 1, hands it to `buildSVG`, and reports
/// `failure` when the build sets it.
struct SVGContext {
    /// Folder into which the drawing's archive was unpacked; image fills resolve their
    /// assets below it.
    QString extractedRoot;
    /// One entry per definition (gradient, image pattern, filter, text path), each a complete
    /// text without indentation; an entry may span several lines separated by "\n".
    QStringList defs;
    /// The number the next "gradient-", "image-fill-", "image-", "filter-" or "text-path-" id
    /// takes.
    std::int64_t nextID = 1;
    /// Shape groups entered so far on the way down; guards the builder against drawings
    /// nested deeper than `kMaxNestingDepth`.
    int groupDepth = 0;
    /// The embedded images, by resolved file and the media type its fill's name gives it.
    std::map<QString, EmbeddedImage> embeddedImages;
    /// The most characters of SVG text this build may produce (see `kSVGTextBudget`).
    std::int64_t textBudget = kSVGTextBudget;
    /// Characters of embedded image data so far.
    std::int64_t embeddedLength = 0;
    /// Why the build failed (the SVG would pass `textBudget`); `buildSVG` then returns no
    /// text and the caller reports this message.
    std::optional<QString> failure;

    /// Takes the next id with the given prefix ("gradient-" and so on) and advances the counter.
    QString takeID(QStringView prefix) { return prefix.toString() + QString::number(nextID++); }
};

}  // namespace keelwick
