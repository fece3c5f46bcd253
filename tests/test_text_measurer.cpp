#include "convert/TextMeasurer.h"
#include "convert/internal/InstalledFontMeasurer.h"

#include <gtest/gtest.h>

#include <harfbuzz/hb.h>

#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <thread>
#include <vector>

namespace keelwick {
namespace {

/// The width HarfBuzz gives with its own OpenType font functions, reading the font file
/// directly: an independent route to the same numbers (no fontconfig lookup, no FreeType).
double openTypeWidth(const FontFaceLocation& location, const char* text, double fontSize) {
    hb_blob_t* blob = hb_blob_create_from_file(location.file.constData());
    hb_face_t* face = hb_face_create(blob, location.index);
    hb_font_t* font = hb_font_create(face);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, text, -1, 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, nullptr, 0);
    unsigned int count = 0;
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    double advance = 0;
    for (unsigned int glyph = 0; glyph < count; ++glyph) {
        advance += positions[glyph].x_advance;
    }
    int scale = 0;
    hb_font_get_scale(font, &scale, nullptr);
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return advance / scale * fontSize;
}

FontFaceLocation dejaVuSans() {
    const std::optional<FontFaceLocation> location = fontconfigLocator().locate("DejaVuSans");
    return location.value_or(FontFaceLocation{});
}

/// A locator that knows only the names it is given, counting its lookups.
struct FixedLocator {
    std::map<QString, FontFaceLocation> faces;
    std::optional<FontFaceLocation> defaultFace;
    std::shared_ptr<int> lookups = std::make_shared<int>(0);
    std::shared_ptr<int> defaultLookups = std::make_shared<int>(0);

    FontLocator locator() const {
        return {[faces = faces,
                 lookups = lookups](const QString& name) -> std::optional<FontFaceLocation> {
                    ++*lookups;
                    const auto found = faces.find(name);
                    if (found == faces.end()) {
                        return std::nullopt;
                    }
                    return found->second;
                },
                [defaultFace = defaultFace, defaultLookups = defaultLookups] {
                    ++*defaultLookups;
                    return defaultFace;
                }};
    }
};

TEST(FontconfigLocator, FindsFacesByPostScriptFullAndFamilyName) {
    const FontLocator locator = fontconfigLocator();
    const auto fileOf = [&locator](const QString& name) {
        const std::optional<FontFaceLocation> location = locator.locate(name);
        return location ? QString::fromUtf8(location->file.split('/').last()) : QString();
    };
    EXPECT_EQ(fileOf("DejaVuSans"), "DejaVuSans.ttf");
    EXPECT_EQ(fileOf("DejaVuSans-Bold"), "DejaVuSans-Bold.ttf");
    EXPECT_EQ(fileOf("DejaVu Sans Bold"), "DejaVuSans-Bold.ttf");  // full name
    EXPECT_EQ(fileOf("DejaVu Sans"), "DejaVuSans.ttf");            // family: its regular face
    EXPECT_EQ(fileOf("KeelwickNoSuchFont"), "");  // fontconfig would substitute; we do not
    EXPECT_EQ(fileOf(""), "");
    EXPECT_EQ(fileOf(QString::fromLatin1("DejaVu\0Sans", 11)), "");

    const std::optional<FontFaceLocation> fallback = locator.locateDefault();
    ASSERT_TRUE(fallback);
    EXPECT_TRUE(QFile::exists(QString::fromUtf8(fallback->file)));
}

TEST(InstalledFontMeasurer, MeasuresLikeHarfBuzzOverTheFontFile) {
    const FontFaceLocation location = dejaVuSans();
    ASSERT_FALSE(location.file.isEmpty());
    const InstalledFontMeasurer measurer;
    const double width = measurer.width("Hello", "DejaVuSans", 12, 0);
    // DejaVu Sans: H 1540, e 1260, l 569, l 569, o 1253 units of 2048 per em.
    EXPECT_NEAR(width, 30.416, 0.01);
    EXPECT_NEAR(width, openTypeWidth(location, "Hello", 12), 1e-9);
    EXPECT_NEAR(measurer.width("AVATAR Wolf", "DejaVuSans", 10, 0),
                openTypeWidth(location, "AVATAR Wolf", 10), 1e-9);
    // Another face of the family is another width.
    EXPECT_GT(measurer.width("Hello", "DejaVuSans-Bold", 12, 0), width + 1);
}

TEST(InstalledFontMeasurer, AddsKerningOncePerCharacter) {
    const InstalledFontMeasurer measurer;
    // Five characters, six UTF-16 code units: the emoji counts once.
    const QString text = QString::fromUtf8("H\u00E9\U0001F600 x");
    const double plain = measurer.width(text, "DejaVuSans", 12, 0);
    EXPECT_DOUBLE_EQ(measurer.width(text, "DejaVuSans", 12, 1.5), plain + 1.5 * 5);
    EXPECT_DOUBLE_EQ(measurer.width(text, "DejaVuSans", 12, -0.5), plain - 0.5 * 5);

    EXPECT_EQ(measurer.width("", "DejaVuSans", 12, 0), 0);
    EXPECT_EQ(measurer.width("", "DejaVuSans", 12, 3), 0);
}

TEST(InstalledFontMeasurer, UnknownFontsMeasureInTheDefaultSansFont) {
    const std::optional<FontFaceLocation> defaultFace = fontconfigLocator().locateDefault();
    ASSERT_TRUE(defaultFace);
    FixedLocator probe;
    probe.faces["Probe"] = *defaultFace;
    const InstalledFontMeasurer byDefaultFile(probe.locator());

    const InstalledFontMeasurer measurer;
    const double expected = byDefaultFile.width("Hello world", "Probe", 12, 0);
    EXPECT_GT(expected, 0);
    EXPECT_DOUBLE_EQ(measurer.width("Hello world", "KeelwickNoSuchFont-Bold", 12, 0), expected);
    EXPECT_DOUBLE_EQ(measurer.width("Hello world", "sans-serif", 12, 0), expected);
    EXPECT_DOUBLE_EQ(measurer.width("Hello world", "", 12, 0), expected);
}

TEST(InstalledFontMeasurer, FallsBackWhenAFontFileCannotBeLoaded) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile garbage(folder.filePath("Broken.ttf"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();

    FixedLocator fixed;
    fixed.faces["Gone"] = {folder.filePath("Gone.ttf").toUtf8(), 0};
    fixed.faces["Broken"] = {garbage.fileName().toUtf8(), 0};
    fixed.faces["Bold"] = {fontconfigLocator().locate("DejaVuSans-Bold").value().file, 0};
    fixed.defaultFace = dejaVuSans();
    const InstalledFontMeasurer measurer(fixed.locator());

    const double sans = measurer.width("Hello", "Unlisted", 12, 0);
    EXPECT_NEAR(sans, openTypeWidth(dejaVuSans(), "Hello", 12), 1e-9);
    EXPECT_DOUBLE_EQ(measurer.width("Hello", "Gone", 12, 0), sans);
    EXPECT_DOUBLE_EQ(measurer.width("Hello", "Broken", 12, 0), sans);
    EXPECT_GT(measurer.width("Hello", "Bold", 12, 0), sans);
}

TEST(InstalledFontMeasurer, EstimatesWhenNoFontCanBeLoaded) {
    FixedLocator nothing;
    nothing.faces["Gone"] = {"/nonexistent/Keelwick/Gone.ttf", 0};
    nothing.defaultFace = FontFaceLocation{"/nonexistent/Keelwick/Sans.ttf", 0};
    const InstalledFontMeasurer measurer(nothing.locator());
    // Half the size per character, plus the kerning.
    EXPECT_DOUBLE_EQ(measurer.width("Hello", "Gone", 12, 0), 30);
    EXPECT_DOUBLE_EQ(measurer.width(QString::fromUtf8("\U0001F600a"), "Other", 10, 1), 12);

    const InstalledFontMeasurer withoutLocator(FontLocator{});
    EXPECT_DOUBLE_EQ(withoutLocator.width("abcd", "DejaVuSans", 2, 0), 4);
}

TEST(InstalledFontMeasurer, LooksEachNameUpOnce) {
    FixedLocator fixed;
    fixed.faces["Sans"] = dejaVuSans();
    fixed.defaultFace = dejaVuSans();
    const InstalledFontMeasurer measurer(fixed.locator());
    const double first = measurer.width("Hello", "Sans", 12, 0);
    for (int round = 0; round < 50; ++round) {
        EXPECT_DOUBLE_EQ(measurer.width("Hello", "Sans", 12, 0), first);
        measurer.width("Hello", "Unknown", 12, 0);
    }
    EXPECT_EQ(*fixed.lookups, 2);
    EXPECT_EQ(*fixed.defaultLookups, 1);
}

TEST(InstalledFontMeasurer, GivesTheSameWidthsFromSeveralThreads) {
    const std::vector<std::pair<QString, QString>> cases{
        {"Hello world", "DejaVuSans"},
        {"Graphic and iDraw", "DejaVuSans-Bold"},
        {"Serif text", "DejaVuSerif"},
        {"Mono 123", "DejaVuSansMono"},
        {"Fallback", "KeelwickNoSuchFont"},
        {QString::fromUtf8("Gr\u00FC\u00DFe \u0645\u0631\u062D\u0628\u0627"), "DejaVu Sans"},
    };
    std::vector<double> expected;
    {
        const InstalledFontMeasurer reference;
        for (const auto& [text, font] : cases) {
            expected.push_back(reference.width(text, font, 11, 0.25));
        }
    }

    const InstalledFontMeasurer measurer;  // cold: the threads race to load the faces
    std::vector<std::vector<double>> results(4);
    std::vector<std::thread> threads;
    for (std::size_t thread = 0; thread < results.size(); ++thread) {
        threads.emplace_back([&, thread] {
            for (int round = 0; round < 100; ++round) {
                for (std::size_t i = 0; i < cases.size(); ++i) {
                    // Each thread starts at another case, so different faces load at once.
                    const auto& [text, font] = cases[(i + thread) % cases.size()];
                    results[thread].push_back(measurer.width(text, font, 11, 0.25));
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t thread = 0; thread < results.size(); ++thread) {
        ASSERT_EQ(results[thread].size(), 100 * cases.size());
        for (std::size_t n = 0; n < results[thread].size(); ++n) {
            EXPECT_EQ(results[thread][n], expected[(n + thread) % cases.size()]);
        }
    }
}

}  // namespace
}  // namespace keelwick
