#pragma once

#include "convert/TextMeasurer.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace keelwick {

/// Where one font face lives: its file and the face index inside it (collections and named
/// instances of variable fonts hold several faces in one file).
struct FontFaceLocation {
    QByteArray file;
    int index = 0;
};

/// How the measurer finds font files: a face by font name (absent when no installed face has
/// that name) and the default sans-serif face (absent when no font is installed at all).
struct FontLocator {
    std::function<std::optional<FontFaceLocation>(const QString& fontName)> locate;
    std::function<std::optional<FontFaceLocation>()> locateDefault;
};

/// The locator over the installed fonts: fontconfig's face whose PostScript name equals the
/// font name, else whose full name equals it, else the best face of the family of that name;
/// the default is fontconfig's match for "sans-serif".
FontLocator fontconfigLocator();

/// Measures text with FreeType and HarfBuzz in fonts found by a `FontLocator`.
///
/// A name is looked up once and its face kept for the measurer's life, so repeated
/// measuring costs one shaping run. A name without a usable face (not installed, file gone
/// or unreadable, not scalable) is measured in the default face; with no usable default
/// either, each character is estimated at half the font size, so measuring never fails.
/// Safe to call from several threads at once.
class InstalledFontMeasurer final : public TextMeasurer {
  public:
    explicit InstalledFontMeasurer(FontLocator locator = fontconfigLocator());
    ~InstalledFontMeasurer() override;

    InstalledFontMeasurer(const InstalledFontMeasurer&) = delete;
    InstalledFontMeasurer& operator=(const InstalledFontMeasurer&) = delete;

    double width(const QString& text, const QString& fontName, double fontSize,
                 double kerning) const override;

    /// The advance of one character, as a fraction of the font size, when no font at all
    /// can be loaded: a rough average of Latin text faces.
    static constexpr double kEstimatedAdvancePerCharacter = 0.5;

  private:
    class LoadedFace;
    struct Faces;

    /// The face to measure `fontName` with, or null when no font can be loaded.
    std::shared_ptr<LoadedFace> faceFor(const QString& fontName) const;
    std::shared_ptr<LoadedFace> defaultFace() const;
    std::shared_ptr<LoadedFace> load(const FontFaceLocation& location) const;

    FontLocator locator_;
    mutable std::mutex mutex_;  // guards faces_ and every FreeType library call
    std::unique_ptr<Faces> faces_;
};

}  // namespace keelwick
