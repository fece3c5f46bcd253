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

/// A line list: complete output lines, each starting with its indentation, no terminators.
using Lines = QStringList;
/// The dictionaries of a shape's "Appearance" list.
using AppearanceList = std::vector<const PropertyListDictionary*>;

/// The style declaration, comments and optional filter reference of one element.
struct StyleInfo {
    QString style;
    QStringList comments;
    std::optional<QString> filter;
};

/// A paint for `fill` ("none" or a pattern reference) and an optional warning.
struct ImageFillResult {
    QString fill;
    std::optional<QString> warning;
};

/// The failure of a build whose SVG would pass the text budget of `SVGContext`.
QString svgTooLargeMessage(std::int64_t budget);

/// A filter reference (absent when the list has no enabled effect) and its comments.
struct FilterResult {
    std::optional<QString> reference;
    QStringList comments;
};

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
    Lines convertShape(const PropertyListDictionary& shape, SVGContext& context,
                       const QString& indent) const;
    Lines convertGroup(const PropertyListDictionary& shape, SVGContext& context,
                       const QString& indent) const;

    // ---- Path shapes --------------------------------------------------------------------
    Lines convertPath(const PropertyListDictionary& shape, SVGContext& context,
                      const QString& indent) const;

    // ---- Style, colours and gradients ---------------------------------------------------
    StyleInfo style(const AppearanceList& appearance, SVGContext& context) const;
    QString gradientFill(const PropertyListDictionary& gradient, SVGContext& context) const;

    // ---- Image fills ---------------------------------------------------------------------
    /// A fill whose image file is embedded already draws that data instead of a copy.
    ImageFillResult imageFill(const PropertyListDictionary& fillImage, SVGContext& context) const;

    // ---- Effects -------------------------------------------------------------------------
    FilterResult filter(const AppearanceList& appearance, SVGContext& context) const;

    // ---- Text ----------------------------------------------------------------------------
    Lines convertText(const PropertyListDictionary& shape, SVGContext& context,
                      const QString& indent) const;
    /// The font and colour attributes of a run; a colour it cannot read adds its warning to
    /// `comments`, which the caller writes before the text element.
    QStringList textAttributes(const PropertyListDictionary& run,
                               const PropertyListDictionary& fallback, QStringList& comments) const;
    QStringList wrappedTextRows(const QString& text, std::optional<double> maxWidth,
                                const QString& fontName, double fontSize, double kerning) const;
    /// "end" for "TextAlignment" 1, "middle" for 2, "start" for anything else.
    static QString textAnchor(const PropertyListDictionary& shape);
    Lines convertTextOnPath(const PropertyListDictionary& shape, SVGContext& context,
                            const QString& indent) const;

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
    QString buildDocument(const PropertyListDictionary& document, SVGContext& context) const;
    /// Hands the lines of each child shape of "Shapes" to `sink`, in order; content left out
    /// for its depth becomes one comment.
    template <typename Sink>
    void forEachChildShape(const PropertyListDictionary& parent, SVGContext& context,
                           const QString& indent, Sink&& sink) const;

    const TextMeasurer& measurer_;
    std::int64_t svgTextBudget_ = kSVGTextBudget;
};

}  // namespace keelwick
