// Feeds arbitrary bytes through the property-list reader, the SVG builder and the font walk,
// and checks the promise the converter makes for every input: well-formed SVG, no crash.

#include "convert/VellixConverter.h"
#include "pipeline/DrawingDocument.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

/// Fixed widths keep the fuzzer fast and deterministic; real measuring is tested elsewhere.
class FixedWidthMeasurer : public keelwick::TextMeasurer {
  public:
    double width(const QString& text, const QString&, double fontSize, double) const override {
        return 0.5 * fontSize * static_cast<double>(text.size());
    }
};

bool isWellFormed(const QString& svg) {
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        reader.readNext();
    }
    return !reader.hasError();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FixedWidthMeasurer measurer;
    static QTemporaryDir emptyDrawingFolder;

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const keelwick::DrawingDocument document = keelwick::DrawingDocument::parse(bytes);
    if (!document.succeeded()) {
        return 0;
    }
    keelwick::SVGContext context;
    context.extractedRoot = emptyDrawingFolder.path();
    const QString svg =
        keelwick::VellixConverter(measurer).buildSVG(document.dictionary(), context);
    if (context.failure) {
        return 0;  // too large to build: reported, not an ill-formed document
    }
    if (!isWellFormed(svg)) {
        std::fprintf(stderr, "ill-formed SVG:\n%s\n", svg.toUtf8().constData());
        std::abort();
    }
    keelwick::VellixConverter::usedFonts(document.dictionary());
    return 0;
}
