// Golden tests of the SVG converter: every drawing folder under tests/fixtures is converted
// and compared byte for byte with its expected output (see tests/fixtures/README.md). With
// KEELWICK_UPDATE_GOLDEN=1 in the environment, the test rewrites the expected outputs that
// differ instead, on purpose.

#include "convert/SVGContext.h"
#include "convert/TextMeasurer.h"
#include "convert/VellixConverter.h"
#include "pipeline/PropertyListReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

namespace keelwick {
namespace {

const QString kFixturesRoot = QStringLiteral(KEELWICK_SOURCE_DIR "/tests/fixtures");
const char* const kRegenerate = "KEELWICK_UPDATE_GOLDEN=1 build/tests/test_golden_svg";

/// Whether this run rewrites the expected outputs instead of comparing with them.
bool updatingExpected() {
    return qEnvironmentVariable("KEELWICK_UPDATE_GOLDEN") == QStringLiteral("1");
}

/// The drawing folders (those holding data.xml), relative to the fixtures root, sorted.
std::vector<std::string> caseFolders() {
    const QDir root(kFixturesRoot);
    std::vector<std::string> folders;
    QDirIterator files(kFixturesRoot, {QStringLiteral("data.xml")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        folders.push_back(root.relativeFilePath(QFileInfo(files.next()).path()).toStdString());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

/// A folder named "<case>-binary" or "<case>-openstep" holds another stored form of the
/// drawing <case>; any other folder holds the XML form.
const std::pair<QLatin1StringView, PropertyListFormat> kFormEndings[] = {
    {QLatin1StringView("-binary"), PropertyListFormat::binary},
    {QLatin1StringView("-openstep"), PropertyListFormat::openStep}};

PropertyListFormat formByName(const QString& folder) {
    for (const auto& [ending, form] : kFormEndings) {
        if (folder.endsWith(ending)) {
            return form;
        }
    }
    return PropertyListFormat::xml;
}

/// The expected output of a drawing folder: "<folder>.svg" when it exists, otherwise, for a
/// further stored form, the one of the form's base drawing.
QString expectedFileFor(const QString& folder) {
    const QString own = folder + QStringLiteral(".svg");
    for (const auto& [ending, form] : kFormEndings) {
        if (folder.endsWith(ending) && !QFileInfo::exists(kFixturesRoot + u'/' + own)) {
            return folder.chopped(ending.size()) + QStringLiteral(".svg");
        }
    }
    return own;
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

/// The first line that differs, each side cut to the part around the first differing
/// column (an embedded image is one long line), with control characters spelled out.
std::string firstDifference(const QString& expectedPath, const QString& expected,
                            const QString& actual) {
    const QStringList want = expected.split(u'\n');
    const QStringList got = actual.split(u'\n');
    qsizetype line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line]) {
        ++line;
    }
    const QString wanted = want.value(line);
    const QString given = got.value(line);
    qsizetype column = 0;
    while (column < wanted.size() && column < given.size() && wanted[column] == given[column]) {
        ++column;
    }
    const auto shown = [column](const QString& text) {
        QString part = text.mid(std::max<qsizetype>(0, column - 80), 160);
        for (char16_t c = 0; c < u' '; ++c) {
            if (c != u'\t') {
                part.replace(QChar(c),
                             QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0')));
            }
        }
        return part.toStdString();
    };
    std::ostringstream out;
    out << expectedPath.toStdString() << ", line " << line + 1 << ", column " << column + 1
        << ":\n- " << shown(wanted) << "\n+ " << shown(given)
        << "\nIf the new output is intended, regenerate with " << kRegenerate
        << " and review the diff.\n";
    return out.str();
}

/// A further stored form that shares its base drawing's expected output never rewrites it:
/// it must convert to the same text, and is compared with it instead.
bool ownsExpected(const QString& folder, const QString& expectedPath) {
    return expectedPath == folder + QStringLiteral(".svg");
}

/// Writes an expected output that differs from `svg`, saying so, so the diff can be reviewed.
void rewriteExpected(const QString& expectedPath, const QByteArray& svg) {
    const QString path = kFixturesRoot + u'/' + expectedPath;
    const std::optional<QByteArray> stored = readFile(path);
    if (stored == svg) {
        return;
    }
    QSaveFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(svg) == svg.size() && file.commit())
        << "cannot write " << path.toStdString();
    std::printf("%s expected output: tests/fixtures/%s\n", stored ? "changed" : "new",
                qPrintable(expectedPath));
}

class GoldenSvg : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenSvg, ConvertsToTheExpectedOutput) {
    const QString folder = QString::fromStdString(GetParam());
    const QString caseFolder = kFixturesRoot + u'/' + folder;

    const std::optional<QByteArray> bytes = readFile(caseFolder + QStringLiteral("/data.xml"));
    ASSERT_TRUE(bytes) << "cannot read " << folder.toStdString() << "/data.xml";
    const PropertyListReadResult read = readPropertyList(*bytes);
    ASSERT_TRUE(read.succeeded()) << read.errorDescription.toStdString();
    EXPECT_EQ(formatName(read.format), formatName(formByName(folder)))
        << "the folder's name says which stored form it holds";
    const PropertyListDictionary* document = read.value->asDictionary();
    ASSERT_NE(document, nullptr) << "the drawing is no dictionary";

    SVGContext context;
    context.extractedRoot = caseFolder;
    const QString svg = VellixConverter(installedFontMeasurer()).buildSVG(*document, context);

    const QString expectedPath = expectedFileFor(folder);
    if (updatingExpected() && ownsExpected(folder, expectedPath)) {
        rewriteExpected(expectedPath, svg.toUtf8());
        return;
    }
    const std::optional<QByteArray> expected = readFile(kFixturesRoot + u'/' + expectedPath);
    ASSERT_TRUE(expected) << "no expected output " << expectedPath.toStdString()
                          << "; create it with " << kRegenerate;
    if (svg.toUtf8() != *expected) {
        ADD_FAILURE() << firstDifference("tests/fixtures/" + expectedPath,
                                         QString::fromUtf8(*expected), svg);
    }
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenSvg, ::testing::ValuesIn(caseFolders()), testName);

TEST(GoldenSvgFixtures, EveryExpectedOutputBelongsToADrawing) {
    const std::vector<std::string> folders = caseFolders();
    ASSERT_FALSE(folders.empty()) << "no drawing folders under " << kFixturesRoot.toStdString()
                                  << "; see tests/fixtures/README.md";
    QSet<QString> used;
    for (const std::string& folder : folders) {
        used.insert(expectedFileFor(QString::fromStdString(folder)));
    }
    const QDir root(kFixturesRoot);
    QDirIterator files(kFixturesRoot, {QStringLiteral("*.svg")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = root.relativeFilePath(files.next());
        EXPECT_TRUE(used.contains(path)) << path.toStdString() << " is the expected output of no "
                                         << "drawing folder; remove it or add its drawing";
    }
}

// The fixtures whose whole text the converter's contract states: a regeneration from a
// faulty converter must not slip them through.
TEST(GoldenSvgFixtures, ContractOutputsStayExact) {
    const QString header = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" ");
    EXPECT_EQ(readFile(kFixturesRoot + QStringLiteral("/document/empty.svg")),
              (header + "viewBox=\"0 0 612 792\" width=\"612\" height=\"792\">\n"
                        "  <title>Rescued from Graphic/iDraw </title>\n"
                        "</svg>\n")
                  .toUtf8());
    EXPECT_EQ(
        readFile(kFixturesRoot + QStringLiteral("/document/small-drawing.svg")),
        (header + "viewBox=\"0 10 120 70\" width=\"120\" height=\"70\">\n"
                  "  <title>Rescued from Graphic/iDraw </title>\n"
                  "  <g id=\"Background\">\n"
                  "    <path d=\"M 0 0 L 100 50\" style=\"fill:rgb(0 0 255);stroke:rgb(0 0 0);"
                  "stroke-width:2;fill-opacity:1;stroke-opacity:1;stroke-linejoin:miter;"
                  "stroke-linecap:butt\" transform=\"translate(10 20)\"/>\n"
                  "  </g>\n"
                  "</svg>\n")
            .toUtf8());
}

}  // namespace
}  // namespace keelwick
