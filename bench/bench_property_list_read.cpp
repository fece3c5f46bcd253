// Reading a large drawing's data.xml into the value tree. Target: a 10 MB XML document in
// under 0.5 s. The document is generated in memory: layers of path shapes, each with a
// path, a position and an appearance list holding a fill and a stroke, as drawings have.

#include "pipeline/PropertyListReader.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdlib>

namespace {

using keelwick::readPropertyList;

QByteArray number(QRandomGenerator& random, double range) {
    return QByteArray::number(random.generateDouble() * range, 'f', 3);
}

QByteArray pathData(QRandomGenerator& random) {
    QByteArray path = "M " + number(random, 800) + " " + number(random, 600);
    const int segments = int(random.bounded(3, 8));
    for (int i = 0; i < segments; ++i) {
        path += " C " + number(random, 800) + " " + number(random, 600) + " " +
                number(random, 800) + " " + number(random, 600) + " " + number(random, 800) + " " +
                number(random, 600);
    }
    return path + " Z";
}

QByteArray colour(QRandomGenerator& random) {
    return "{" + number(random, 1) + ", " + number(random, 1) + ", " + number(random, 1) + ", 1}";
}

QByteArray pathShape(QRandomGenerator& random) {
    return "\t\t\t\t<dict>\n"
           "\t\t\t\t\t<key>ShapeType</key>\n\t\t\t\t\t<string>PathShape</string>\n"
           "\t\t\t\t\t<key>Path</key>\n\t\t\t\t\t<string>" +
           pathData(random) +
           "</string>\n"
           "\t\t\t\t\t<key>Position</key>\n\t\t\t\t\t<string>{" +
           number(random, 800) + ", " + number(random, 600) +
           "}</string>\n"
           "\t\t\t\t\t<key>Opacity</key>\n\t\t\t\t\t<real>0.75</real>\n"
           "\t\t\t\t\t<key>Appearance</key>\n\t\t\t\t\t<array>\n"
           "\t\t\t\t\t\t<dict>\n"
           "\t\t\t\t\t\t\t<key>Type</key>\n\t\t\t\t\t\t\t<string>Fill</string>\n"
           "\t\t\t\t\t\t\t<key>Enabled</key>\n\t\t\t\t\t\t\t<true/>\n"
           "\t\t\t\t\t\t\t<key>FillType</key>\n\t\t\t\t\t\t\t<integer>1</integer>\n"
           "\t\t\t\t\t\t\t<key>FillColor</key>\n\t\t\t\t\t\t\t<string>" +
           colour(random) +
           "</string>\n"
           "\t\t\t\t\t\t</dict>\n"
           "\t\t\t\t\t\t<dict>\n"
           "\t\t\t\t\t\t\t<key>Type</key>\n\t\t\t\t\t\t\t<string>Stroke</string>\n"
           "\t\t\t\t\t\t\t<key>LineWidth</key>\n\t\t\t\t\t\t\t<real>" +
           number(random, 4) +
           "</real>\n"
           "\t\t\t\t\t\t\t<key>LineColor</key>\n\t\t\t\t\t\t\t<string>" +
           colour(random) +
           "</string>\n"
           "\t\t\t\t\t\t\t<key>LineJoin</key>\n\t\t\t\t\t\t\t<integer>1</integer>\n"
           "\t\t\t\t\t\t\t<key>LineCap</key>\n\t\t\t\t\t\t\t<integer>0</integer>\n"
           "\t\t\t\t\t\t</dict>\n"
           "\t\t\t\t\t</array>\n"
           "\t\t\t\t</dict>\n";
}

/// A drawing of about `targetBytes` of XML.
QByteArray drawingXml(qsizetype targetBytes) {
    QRandomGenerator random(7);
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n"
        "\t<key>Version</key>\n\t<string>3.1</string>\n"
        "\t<key>Dimensions</key>\n\t<string>{800, 600}</string>\n"
        "\t<key>Layers</key>\n\t<array>\n";
    xml.reserve(targetBytes + 4096);
    for (int layer = 1; xml.size() < targetBytes; ++layer) {
        xml += "\t\t<dict>\n\t\t\t<key>Name</key>\n\t\t\t<string>Layer " +
               QByteArray::number(layer) + "</string>\n\t\t\t<key>Shapes</key>\n\t\t\t<array>\n";
        for (int shape = 0; shape < 1000 && xml.size() < targetBytes; ++shape) {
            xml += pathShape(random);
        }
        xml += "\t\t\t</array>\n\t\t</dict>\n";
    }
    return xml + "\t</array>\n</dict>\n</plist>\n";
}

const QByteArray& tenMegabyteXml() {
    static const QByteArray xml = drawingXml(10 * 1000 * 1000);
    return xml;
}

// The binary form of the same document, written by libplist.
const QByteArray& tenMegabyteBinary() {
    static const QByteArray binary = [] {
        const QByteArray& xml = tenMegabyteXml();
        plist_t root = nullptr;
        plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(root, &bytes, &length);
        QByteArray copy(bytes, qsizetype(length));
        std::free(bytes);
        plist_free(root);
        return copy;
    }();
    return binary;
}

void read(benchmark::State& state, const QByteArray& bytes) {
    for (auto _ : state) {
        keelwick::PropertyListReadResult result = readPropertyList(bytes);
        if (!result.succeeded()) {
            state.SkipWithError("the document did not read");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["document_MB"] = double(bytes.size()) / 1e6;
}

void BM_ReadXmlDrawing10MB(benchmark::State& state) {
    read(state, tenMegabyteXml());
}
BENCHMARK(BM_ReadXmlDrawing10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBinaryDrawingOfTheSameDocument(benchmark::State& state) {
    read(state, tenMegabyteBinary());
}
BENCHMARK(BM_ReadBinaryDrawingOfTheSameDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// libplist's own share of the XML read, for comparison: parsing into its tree only.
void BM_LibplistXmlParseOnly(benchmark::State& state) {
    const QByteArray& xml = tenMegabyteXml();
    for (auto _ : state) {
        plist_t root = nullptr;
        plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
        benchmark::DoNotOptimize(root);
        plist_free(root);
    }
    state.SetBytesProcessed(state.iterations() * xml.size());
}
BENCHMARK(BM_LibplistXmlParseOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
