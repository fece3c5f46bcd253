#pragma once

#include <QString>

namespace keelwick {

/// Measures the advance width of one line of text: the only thing text wrapping needs to
/// know about fonts. The converter calls it from worker threads, so implementations must be
/// safe to call concurrently.
class TextMeasurer {
  public:
    virtual ~TextMeasurer() = default;

    /// Width in drawing units of `text` set on one line in the font `fontName` at `fontSize`,
    /// with `kerning` added after each character when it is not 0. A font that is not
    /// installed is replaced by the default sans-serif font; measuring never fails.
    virtual double width(const QString& text, const QString& fontName, double fontSize,
                         double kerning) const = 0;
};

/// The measurer over the installed fonts (fontconfig, FreeType and HarfBuzz). One instance
/// serves the whole program.
const TextMeasurer& installedFontMeasurer();

}  // namespace keelwick
