#include "convert/internal/InstalledFontMeasurer.h"

#include "convert/Fonts.h"

#include <QHash>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace keelwick {

namespace {

using PatternPointer = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;
using ObjectSetPointer = std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)>;
using FontSetPointer = std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)>;

const FcChar8* fontconfigText(const QByteArray& text) {
    return reinterpret_cast<const FcChar8*>(text.constData());
}

/// Whether one of the face's values of `object` is exactly `text`.
bool hasValue(FcPattern* face, const char* object, const QByteArray& text) {
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(face, object, n, &value) == FcResultMatch; ++n) {
        if (text == reinterpret_cast<const char*>(value)) {
            return true;
        }
    }
    return false;
}

std::optional<FontFaceLocation> locationOf(FcPattern* face) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(face, FC_FILE, 0, &file) != FcResultMatch) {
        return std::nullopt;
    }
    int index = 0;
    FcPatternGetInteger(face, FC_INDEX, 0, &index);  // stays 0 when the face has none
    return FontFaceLocation{QByteArray(reinterpret_cast<const char*>(file)), index};
}

/// The first installed face whose `object` (PostScript name or full name) equals `name`.
/// Fontconfig's listing compares names loosely (ignoring case), so the equality is checked
/// here.
std::optional<FontFaceLocation> listedFace(const char* object, const QByteArray& name) {
    const PatternPointer pattern(FcPatternCreate(), FcPatternDestroy);
    const ObjectSetPointer objects(FcObjectSetBuild(object, FC_FILE, FC_INDEX, nullptr),
                                   FcObjectSetDestroy);
    if (!pattern || !objects || !FcPatternAddString(pattern.get(), object, fontconfigText(name))) {
        return std::nullopt;
    }
    const FontSetPointer faces(FcFontList(nullptr, pattern.get(), objects.get()), FcFontSetDestroy);
    if (!faces) {
        return std::nullopt;
    }
    for (int face = 0; face < faces->nfont; ++face) {
        if (hasValue(faces->fonts[face], object, name)) {
            return locationOf(faces->fonts[face]);
        }
    }
    return std::nullopt;
}

/// Fontconfig's best face for a family name (regular weight and upright when there is one).
/// With `requireFamily` the match must really belong to that family: fontconfig always
/// answers with something, substituting other families for unknown names.
std::optional<FontFaceLocation> matchedFace(const QByteArray& family, bool requireFamily) {
    const PatternPointer pattern(FcPatternCreate(), FcPatternDestroy);
    if (!pattern || !FcPatternAddString(pattern.get(), FC_FAMILY, fontconfigText(family)) ||
        !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) {
        return std::nullopt;
    }
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const PatternPointer match(FcFontMatch(nullptr, pattern.get(), &result), FcPatternDestroy);
    if (!match || (requireFamily && !hasValue(match.get(), FC_FAMILY, family))) {
        return std::nullopt;
    }
    return locationOf(match.get());
}

/// The number of Unicode scalars (a lone surrogate counts as one character).
qsizetype characterCount(const QString& text) {
    qsizetype count = text.size();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate()) {
            --count;
        }
    }
    return count;
}

/// Distinct names remembered at most; beyond that the name table starts afresh, so a stream
/// of drawings with ever new font names cannot grow it without bound. Loaded faces stay.
constexpr qsizetype kMaxRememberedNames = 4096;

}  // namespace

FontLocator fontconfigLocator() {
    FontLocator locator;
    locator.locate = [](const QString& fontName) -> std::optional<FontFaceLocation> {
        const QByteArray name = fontName.toUtf8();
        const std::lock_guard lock(fontCatalogueMutex());
        if (auto face = listedFace(FC_POSTSCRIPT_NAME, name)) {
            return face;
        }
        if (auto face = listedFace(FC_FULLNAME, name)) {
            return face;
        }
        return matchedFace(name, true);
    };
    locator.locateDefault = []() -> std::optional<FontFaceLocation> {
        const std::lock_guard lock(fontCatalogueMutex());
        return matchedFace(QByteArrayLiteral("sans-serif"), false);
    };
    return locator;
}

/// One loaded face: the FreeType face and the HarfBuzz font shaping with it.
class InstalledFontMeasurer::LoadedFace {
  public:
    LoadedFace(FT_Face face, hb_font_t* font, int scale)
        : face_(face), font_(font), scale_(scale) {}
    // Destroyed only while the measurer's mutex is held: FT_Done_Face changes the library.
    ~LoadedFace() {
        hb_font_destroy(font_);
        FT_Done_Face(face_);
    }
    LoadedFace(const LoadedFace&) = delete;
    LoadedFace& operator=(const LoadedFace&) = delete;

    /// The advance width of `text` set on one line, in ems.
    double emWidth(const QString& text) {
        const std::unique_ptr<hb_buffer_t, decltype(&hb_buffer_destroy)> buffer(hb_buffer_create(),
                                                                                hb_buffer_destroy);
        const int length = int(std::min<qsizetype>(text.size(), std::numeric_limits<int>::max()));
        hb_buffer_add_utf16(buffer.get(), reinterpret_cast<const uint16_t*>(text.utf16()), length,
                            0, length);
        hb_buffer_guess_segment_properties(buffer.get());
        {
            // A FreeType face serves one thread at a time.
            const std::lock_guard lock(shaping_);
            hb_shape(font_, buffer.get(), nullptr, 0);
        }
        unsigned int glyphCount = 0;
        const hb_glyph_position_t* positions =
            hb_buffer_get_glyph_positions(buffer.get(), &glyphCount);
        double advance = 0;
        for (unsigned int glyph = 0; glyph < glyphCount; ++glyph) {
            advance += positions[glyph].x_advance;
        }
        return advance / scale_;
    }

  private:
    FT_Face face_;
    hb_font_t* font_;
    int scale_;  // HarfBuzz units per em
    std::mutex shaping_;
};

struct InstalledFontMeasurer::Faces {
    FT_Library library = nullptr;
    /// Null: the name has no usable face and is measured in the default face.
    QHash<QString, std::shared_ptr<LoadedFace>> byName;
    /// Every file tried, null for one that could not be loaded, so it is tried only once.
    std::map<std::pair<QByteArray, int>, std::shared_ptr<LoadedFace>> byLocation;
    bool defaultLookedUp = false;
    std::shared_ptr<LoadedFace> defaultFace;

    ~Faces() {
        byName.clear();
        byLocation.clear();
        defaultFace.reset();
        if (library) {
            FT_Done_FreeType(library);
        }
    }
};

InstalledFontMeasurer::InstalledFontMeasurer(FontLocator locator)
    : locator_(std::move(locator)), faces_(std::make_unique<Faces>()) {
    if (FT_Init_FreeType(&faces_->library) != 0) {
        faces_->library = nullptr;  // every width is then an estimate
    }
}

InstalledFontMeasurer::~InstalledFontMeasurer() {
    const std::lock_guard lock(mutex_);
    faces_.reset();
}

double InstalledFontMeasurer::width(const QString& text, const QString& fontName, double fontSize,
                                    double kerning) const {
    if (text.isEmpty()) {
        return 0;
    }
    const qsizetype characters = characterCount(text);
    const std::shared_ptr<LoadedFace> face = faceFor(fontName);
    double width = face ? face->emWidth(text) * fontSize
                        : double(characters) * kEstimatedAdvancePerCharacter * fontSize;
    if (kerning != 0) {
        width += kerning * double(characters);
    }
    return width;
}

std::shared_ptr<InstalledFontMeasurer::LoadedFace> InstalledFontMeasurer::faceFor(
    const QString& fontName) const {
    const std::lock_guard lock(mutex_);
    const auto known = faces_->byName.constFind(fontName);
    if (known != faces_->byName.cend()) {
        return known.value() ? known.value() : defaultFace();
    }
    std::shared_ptr<LoadedFace> face;
    if (locator_.locate) {
        if (const std::optional<FontFaceLocation> location = locator_.locate(fontName)) {
            face = load(*location);
        }
    }
    if (faces_->byName.size() >= kMaxRememberedNames) {
        faces_->byName.clear();
    }
    faces_->byName.insert(fontName, face);
    return face ? face : defaultFace();
}

std::shared_ptr<InstalledFontMeasurer::LoadedFace> InstalledFontMeasurer::defaultFace() const {
    if (!faces_->defaultLookedUp) {
        faces_->defaultLookedUp = true;
        if (locator_.locateDefault) {
            if (const std::optional<FontFaceLocation> location = locator_.locateDefault()) {
                faces_->defaultFace = load(*location);
            }
        }
    }
    return faces_->defaultFace;
}

std::shared_ptr<InstalledFontMeasurer::LoadedFace> InstalledFontMeasurer::load(
    const FontFaceLocation& location) const {
    const std::pair key(location.file, location.index);
    const auto known = faces_->byLocation.find(key);
    if (known != faces_->byLocation.end()) {
        return known->second;
    }
    std::shared_ptr<LoadedFace> loaded;
    FT_Face face = nullptr;
    if (faces_->library && !location.file.contains('\0') &&
        FT_New_Face(faces_->library, location.file.constData(), location.index, &face) == 0) {
        // The size is set so that one pixel is one font unit, and hinting is off: HarfBuzz
        // then reports each advance in exact font units (in 64ths), the same at every size,
        // and widths scale linearly with the size as fractional platform metrics do.
        const bool scalable =
            FT_IS_SCALABLE(face) && face->units_per_EM > 0 &&
            FT_Set_Char_Size(face, 0, FT_F26Dot6(face->units_per_EM) * 64, 72, 72) == 0;
        hb_font_t* font = scalable ? hb_ft_font_create(face, nullptr) : nullptr;
        int scale = 0;
        if (font) {
            hb_ft_font_set_load_flags(font, FT_LOAD_NO_HINTING);
            hb_font_get_scale(font, &scale, nullptr);
        }
        if (font && scale > 0) {
            loaded = std::make_shared<LoadedFace>(face, font, scale);
        } else {
            if (font) {
                hb_font_destroy(font);
            }
            FT_Done_Face(face);
        }
    }
    faces_->byLocation.emplace(key, loaded);
    return loaded;
}

const TextMeasurer& installedFontMeasurer() {
    // Never destroyed: a worker thread may still be measuring while static objects are torn
    // down at exit.
    static const InstalledFontMeasurer* const measurer = new InstalledFontMeasurer();
    return *measurer;
}

}  // namespace keelwick
