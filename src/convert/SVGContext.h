#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace keelwick {

/// The state of one SVG build. The caller makes it with `extractedRoot` set to the folder the
/// drawing was unpacked into, `defs` empty and `nextID` 1, and hands it to `buildSVG`.
struct SVGContext {
    /// Folder into which the drawing's archive was unpacked; image fills resolve their
    /// assets below it.
    QString extractedRoot;
    /// One entry per definition (gradient, image pattern, filter, text path), each a complete
    /// text without indentation; an entry may span several lines separated by "\n".
    QStringList defs;
    /// The number the next "gradient-", "image-fill-", "filter-" or "text-path-" id takes.
    std::int64_t nextID = 1;
    /// Shape groups entered so far on the way down; guards the builder against drawings
    /// nested deeper than `kMaxNestingDepth`.
    int groupDepth = 0;

    /// Takes the next id with the given prefix ("gradient-" and so on) and advances the counter.
    QString takeID(QStringView prefix) { return prefix.toString() + QString::number(nextID++); }
};

}  // namespace keelwick
