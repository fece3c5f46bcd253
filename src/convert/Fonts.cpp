#include "convert/Fonts.h"

#include "convert/PropertyListValue.h"
#include "convert/VellixConverter.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace keelwick {

namespace {

/// The position of a UTF-16 code unit in scalar order. Surrogates (U+D800–U+DFFF) stand for
/// characters beyond U+FFFF, which must sort after U+E000–U+FFFF; moving the units above the
/// surrogates down by 0x800 and the surrogates to the top makes code-unit order match scalar
/// order, with no need to decode.
char16_t scalarOrderKey(char16_t unit) {
    if (unit >= 0xE000) {
        return char16_t(unit - 0x800);
    }
    if (unit >= 0xD800) {
        return char16_t(unit + 0x2000);
    }
    return unit;
}

/// Inserts the font names a shape writes itself and in its runs.
void insertFontNames(const PropertyListDictionary& shape, QSet<QString>& fonts) {
    if (const QString* name = stringPointer(shape, u"FontName")) {
        fonts.insert(*name);
    }
    for (const PropertyListDictionary* run : dictionaryList(shape, u"TextSpans")) {
        if (const QString* name = stringPointer(*run, u"FontName")) {
            fonts.insert(*name);
        }
    }
}

}  // namespace

QString normalizeFontName(const QString& name) {
    QString normalized;
    normalized.reserve(name.size());
    for (const char32_t character : name.toLower().toUcs4()) {
        if (QChar::isLetterOrNumber(character)) {
            normalized.append(QChar::fromUcs4(character));
        }
    }
    return normalized;
}

std::mutex& fontCatalogueMutex() {
    static std::mutex mutex;
    return mutex;
}

QStringList installedFontNames() {
    // No cache: fontconfig keeps its own on-disk cache, so a listing costs milliseconds, and
    // asking each time means a font the user installs after seeing it reported missing counts
    // on the next check (fontconfig rescans its folders when they change).
    const std::lock_guard lock(fontCatalogueMutex());
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> everyFace(FcPatternCreate(),
                                                                            FcPatternDestroy);
    const std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
        FcObjectSetBuild(FC_POSTSCRIPT_NAME, nullptr), FcObjectSetDestroy);
    if (!everyFace || !objects) {
        return {};
    }
    const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> faces(
        FcFontList(nullptr, everyFace.get(), objects.get()), FcFontSetDestroy);
    if (!faces) {
        return {};
    }
    QStringList names;
    names.reserve(faces->nfont);
    for (int face = 0; face < faces->nfont; ++face) {
        FcChar8* name = nullptr;
        for (int value = 0; FcPatternGetString(faces->fonts[face], FC_POSTSCRIPT_NAME, value,
                                               &name) == FcResultMatch;
             ++value) {
            names.append(QString::fromUtf8(reinterpret_cast<const char*>(name)));
        }
    }
    return names;
}

InstalledFonts InstalledFonts::fromNames(const QStringList& installedNames) {
    InstalledFonts installed;
    installed.names.reserve(installedNames.size());
    installed.normalizedNames.reserve(installedNames.size());
    for (const QString& name : installedNames) {
        installed.names.insert(name);
        installed.normalizedNames.insert(normalizeFontName(name));
    }
    return installed;
}

InstalledFonts InstalledFonts::fetch() {
    return fromNames(installedFontNames());
}

bool InstalledFonts::isMissing(const QString& usedName) const {
    return !names.contains(usedName) && !normalizedNames.contains(normalizeFontName(usedName));
}

bool precedesInScalarOrder(QStringView left, QStringView right) {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(),
        [](QChar a, QChar b) { return scalarOrderKey(a.unicode()) < scalarOrderKey(b.unicode()); });
}

QStringList missingFontNames(const QSet<QString>& usedNames, const InstalledFonts& installed) {
    QStringList missing;
    for (const QString& name : usedNames) {
        if (installed.isMissing(name)) {
            missing.append(name);
        }
    }
    std::sort(missing.begin(), missing.end(), [](const QString& left, const QString& right) {
        return precedesInScalarOrder(left, right);
    });
    return missing;
}

QSet<QString> VellixConverter::usedFonts(const PropertyListDictionary& document) {
    // An explicit stack rather than recursion: a tree built in memory may nest far deeper
    // than a thread's stack allows. Like the SVG builder, the walk descends into at most
    // kMaxNestingDepth levels below a layer's shapes, so the fonts counted are those a
    // drawing's SVG can show.
    struct PendingShape {
        const PropertyListDictionary* shape;
        int depth;
    };
    QSet<QString> fonts;
    std::vector<PendingShape> pending;
    const auto pushShapes = [&pending](const PropertyListDictionary& parent, int depth) {
        const std::vector<const PropertyListDictionary*> shapes = dictionaryList(parent, u"Shapes");
        // Reversed, so shapes come off the stack in document order (depth first).
        for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape) {
            pending.push_back({*shape, depth});
        }
    };
    for (const PropertyListDictionary* layer : dictionaryList(document, u"Layers")) {
        pushShapes(*layer, 0);
        while (!pending.empty()) {
            const PendingShape next = pending.back();
            pending.pop_back();
            insertFontNames(*next.shape, fonts);
            if (next.depth < kMaxNestingDepth) {
                pushShapes(*next.shape, next.depth + 1);
            }
        }
    }
    return fonts;
}

QStringList VellixConverter::missingFontNames(const PropertyListDictionary& document) {
    return keelwick::missingFontNames(usedFonts(document), InstalledFonts::fetch());
}

}  // namespace keelwick
