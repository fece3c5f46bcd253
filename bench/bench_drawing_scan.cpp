// Finding drawings in a large chosen folder: scan, duplicate removal and the display-path
// sort over a tree of 20,000 files of which 500 are drawings, spread over 400 folders four
// levels deep. Target: well under 2 s.

#include "workflow/DrawingScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kFileCount = 20000;
constexpr int kDrawingEvery = kFileCount / 500;
constexpr int kFolderCount = 400;

// Folders "d<a>/d<b>/d<c>/d<n>" and files spread round-robin over them.
void writeTree(const QString& root) {
    QStringList folders;
    for (int n = 0; n < kFolderCount; ++n) {
        const QString folder =
            QStringLiteral("%1/d%2/d%3/d%4/d%5").arg(root).arg(n % 3).arg(n % 7).arg(n % 11).arg(n);
        QDir().mkpath(folder);
        folders.append(folder);
    }
    for (int i = 0; i < kFileCount; ++i) {
        const bool isDrawing = i % kDrawingEvery == 0;
        QFile file(QStringLiteral("%1/file %2.%3")
                       .arg(folders[i % kFolderCount])
                       .arg(i)
                       .arg(isDrawing ? "idraw" : "png"));
        file.open(QIODevice::WriteOnly);
    }
}

void BM_ScanDeduplicateSort(benchmark::State& state) {
    QTemporaryDir root;
    writeTree(root.path());
    qsizetype found = 0;
    for (auto _ : state) {
        const QList<keelwick::RescueCandidate> candidates = keelwick::sortedByDisplayPath(
            keelwick::deduplicated(keelwick::scan({root.path()}).candidates));
        found = candidates.size();
        benchmark::DoNotOptimize(candidates.data());
    }
    if (found != kFileCount / kDrawingEvery) {
        state.SkipWithError("the scan did not find every drawing");
    }
    state.counters["drawings"] = double(found);
}
BENCHMARK(BM_ScanDeduplicateSort)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
