// Feeds arbitrary bytes through the property-list reader, the SVG builder and the font walk,
// and checks the promise the converter makes for every input: well-formed SVG, no crash.

#include "convert/VellixConverter.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/OpenedDrawing.h"

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
    keelwick::DiagnosticsLog log;
    const auto opened = keelwick::OpenedDrawing::parse(bytes, emptyDrawingFolder.path(), log);
    const auto* drawing = std::get_if<keelwick::OpenedDrawing>(&opened);
    if (!drawing) {
        return 0;
    }
    const keelwick::VellixConverter converter(measurer);
    keelwick::SVGContext context = drawing->context(converter);
    const auto built = drawing->buildSVG(converter, context);
    const auto* svg = std::get_if<QString>(&built);
    if (!svg) {
        return 0;  // too large to build: reported, not an ill-formed document
    }
    if (!isWellFormed(*svg)) {
        std::fprintf(stderr, "ill-formed SVG:\n%s\n", svg->toUtf8().constData());
        std::abort();
    }
    keelwick::VellixConverter::usedFonts(drawing->document());
    return 0;
}
