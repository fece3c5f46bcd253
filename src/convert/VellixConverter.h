#pragma once

#include "convert/PropertyListValue.h"
#include "convert/SVGContext.h"
#include "convert/TextMeasurer.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace keelwick {

/// Converts Graphic/iDraw documents into SVG text.
///
/// A converter keeps nothing between drawings: every operation works on its arguments and
/// the `SVGContext` it is handed. All it holds are its text measurer, used for wrapping text,
/// which tests can choose, and the text budget of the SVG it builds.
class VellixConverter {
  public:
    explicit VellixConverter(const TextMeasurer& measurer = installedFontMeasurer());

    // ---- SVG document builder -------------------------------------------------------------
    /// The document's SVG text; no text when the build fails, which sets `context.failure`
    /// (the text would pass its budget, or memory ran out).
    QString buildSVG(const PropertyListDictionary& document, SVGContext& context) const;

    // ---- Fonts ---------------------------------------------------------------------------
    /// Every font name the document writes, in shapes and runs at any depth.
    static QSet<QString> usedFonts(const PropertyListDictionary& document);
    /// The used fonts that are not installed, sorted by Unicode scalar order. Asks the
    /// font catalogue on every call.
    static QStringList missingFontNames(const PropertyListDictionary& document);

    // ---- Text budget ------------------------------------------------------------------
    /// The most characters of SVG text a rescue builds (`kSVGTextBudget` unless set, as tests
    /// do to reach the limit with small drawings).
    std::int64_t svgTextBudget() const { return svgTextBudget_; }
    void setSVGTextBudget(std::int64_t characters) { svgTextBudget_ = characters; }

  private:
    const TextMeasurer& measurer_;
    std::int64_t svgTextBudget_ = kSVGTextBudget;
};

}  // namespace keelwick
