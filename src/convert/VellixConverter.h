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

struct RescueCandidate;
struct RescueOptions;
struct RescueResult;
class DiagnosticsLog;
class SVGPreviewImageRenderer;

/// Converts Graphic/iDraw documents into SVG text and rescues single drawings.
///
/// A converter keeps nothing between drawings: every operation works on its arguments and
/// the `SVGContext` it is handed. All it holds are its two platform services, so tests can
/// choose them: the text measurer used for wrapping text, and the preview renderer of the
/// rescue (the program's shared one unless another is given).
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

    // ---- Rescue of one drawing (src/pipeline) --------------------------------------------
    /// Takes one drawing from its file to its result: unpacked into a work folder, parsed,
    /// built, rendered to its PNG preview and written; never fails, a failure becomes a
    /// result with its message and diagnostics. Blocks the calling thread (a worker's).
    RescueResult rescue(const RescueCandidate& candidate, const RescueOptions& options) const;
    /// Renders previews with `renderer` instead of the program's shared one.
    void usePreviewRenderer(SVGPreviewImageRenderer& renderer) { previewRenderer_ = &renderer; }
    /// The most characters of SVG text a rescue builds (`kSVGTextBudget` unless set, as tests
    /// do to reach the limit with small drawings).
    std::int64_t svgTextBudget() const { return svgTextBudget_; }
    void setSVGTextBudget(std::int64_t characters) { svgTextBudget_ = characters; }

  private:
    const TextMeasurer& measurer_;
    SVGPreviewImageRenderer* previewRenderer_ = nullptr;
    std::int64_t svgTextBudget_ = kSVGTextBudget;
};

}  // namespace keelwick
