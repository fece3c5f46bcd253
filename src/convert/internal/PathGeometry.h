#pragma once

#include "convert/PropertyListValue.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace keelwick {

/// The extent of some geometry, in drawing units.
struct Bounds {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    /// The smallest box holding both.
    Bounds united(const Bounds& other) const;
    bool operator==(const Bounds&) const = default;
};

/// Every non-overlapping match of `pattern` in `text`, left to right; a pattern that does
/// not compile gives none. `\d` and friends follow Unicode, as the platform engines do.
QStringList regexMatches(const QString& pattern, const QString& text);

/// Every decimal number in the text, in order: "{12, 30}" gives 12 and 30, "-.5e2,7" gives
/// -50 and 7. A null text gives none.
std::vector<double> parseNumbers(const QString* text);
std::vector<double> parseNumbers(const QString& text);

/// The first six numbers of the text, the order of an SVG `matrix`; absent when fewer.
std::optional<std::array<double, 6>> parseMatrix(const QString* text);

/// The box of every coordinate listed in the path data (control points included), moved by
/// the offset; absent when no segment is complete.
std::optional<Bounds> pathBounds(QStringView pathData, double offsetX, double offsetY);

/// The `transform` value that places a shape: its "FillTransform" matrix (unless it is the
/// identity) and the translation of its "Position"; absent when neither applies.
std::optional<QString> transformAttribute(const PropertyListDictionary& shape);

/// The shapes and all their descendants, depth-first pre-order, every kind descended into.
/// Descends at most `kMaxNestingDepth` levels.
std::vector<const PropertyListDictionary*> recursiveShapes(
    const std::vector<const PropertyListDictionary*>& shapes);

/// The union of the path bounds of every shape with a "Path" in every layer; absent when no
/// shape contributes.
std::optional<Bounds> documentBounds(const std::vector<const PropertyListDictionary*>& layers);

}  // namespace keelwick
