// SVG building throughput over generated drawings of many path shapes, each with a fill, a
// stroke and a four-segment path, on one thread.

#include "convert/VellixConverter.h"
#include "pipeline/MemoryTuning.h"

#include <QHash>

#include <benchmark/benchmark.h>

using namespace keelwick;

namespace {

class FixedWidthMeasurer : public TextMeasurer {
  public:
    double width(const QString& text, const QString&, double fontSize, double) const override {
        return 0.5 * fontSize * static_cast<double>(text.size());
    }
};

/// Keys and repeated short values share their text, as the property-list reader shares them.
QString shared(const char* text) {
    static QHash<QByteArray, QString> texts;
    auto found = texts.find(text);
    if (found == texts.end()) {
        found = texts.insert(text, QString::fromUtf8(text));
    }
    return *found;
}

PropertyListValue pathShape(int index) {
    const double x = index % 1000;
    const double y = index / 1000;
    auto text = [](const char* value) { return PropertyListValue::string(shared(value)); };
    PropertyListDictionary fill{{shared("Type"), text("Fill")},
                                {shared("FillColor"), text("0.2 0.4 0.6 1")}};
    PropertyListDictionary stroke{{shared("Type"), text("Stroke")},
                                  {shared("LineWidth"), PropertyListValue::real(1.5)},
                                  {shared("LineColor"), text("0 0 0 1")},
                                  {shared("LineJoin"), PropertyListValue::integer(1)}};
    PropertyListDictionary shape{
        {shared("ShapeType"), text("PathShape")},
        {shared("Position"),
         PropertyListValue::string(QStringLiteral("{%1, %2}").arg(x * 12).arg(y * 12))},
        {shared("Path"),
         PropertyListValue::string(
             QStringLiteral("M 0 0 L 10 0 C 12 2 12 8 10 10 Q 5 %1 0 10 Z").arg(index % 97))},
        {shared("Appearance"), PropertyListValue::array({PropertyListValue::dictionary(fill),
                                                         PropertyListValue::dictionary(stroke)})}};
    return PropertyListValue::dictionary(shape);
}

PropertyListDictionary drawingOf(int shapeCount) {
    PropertyListArray shapes;
    shapes.reserve(static_cast<std::size_t>(shapeCount));
    for (int i = 0; i < shapeCount; ++i) {
        shapes.push_back(pathShape(i));
    }
    PropertyListDictionary layer{{shared("Name"), PropertyListValue::string("Layer")},
                                 {shared("Shapes"), PropertyListValue::array(std::move(shapes))}};
    return {{shared("Dimensions"), PropertyListValue::string("{612, 792}")},
            {shared("Layers"), PropertyListValue::array({PropertyListValue::dictionary(layer)})}};
}

void BM_BuildSVG(benchmark::State& state) {
    const int shapeCount = static_cast<int>(state.range(0));
    const PropertyListDictionary drawing = drawingOf(shapeCount);
    const FixedWidthMeasurer measurer;
    const VellixConverter converter(measurer);
    qsizetype size = 0;
    for (auto _ : state) {
        SVGContext context;
        const QString svg = converter.buildSVG(drawing, context);
        size = svg.size();
        benchmark::DoNotOptimize(svg.constData());
    }
    state.SetItemsProcessed(state.iterations() * shapeCount);
    state.counters["svg_chars"] = static_cast<double>(size);
}

}  // namespace

BENCHMARK(BM_BuildSVG)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

int main(int argc, char** argv) {
    // As the programs do: memory freed after one drawing serves the next.
    keepMemoryBetweenDrawings();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
