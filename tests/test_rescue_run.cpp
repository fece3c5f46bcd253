// A rescue run on the real pipeline whose destination stops taking writes part-way.
#include "support/Files.h"
#include "support/WriteFailures.h"
#include "workflow/BackgroundWork.h"
#include "workflow/RescueViewModel.h"

#include <QDirIterator>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace keelwick;

namespace {

class NoDesktop : public RescuePlatform {
  public:
    void runOpenPanel(const OpenPanel&, PanelAnswer answer) override { answer(std::nullopt); }
    void revealInFileManager(const QString&) override {}
};

/// Every file and folder below `folder`, relative to it.
QStringList everythingBelow(const QString& folder) {
    QStringList found;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        found.append(QDir(folder).relativeFilePath(entries.next()));
    }
    found.sort();
    return found;
}

TEST(RescueRun, ADestinationThatTurnsReadOnlyFailsTheLaterDrawingsAndLeavesNothingHalfWritten) {
    const keelwick::testing::SmallFileSystem destination(64 * 1024 * 1024);
    if (!destination.isMounted()) {
        GTEST_SKIP() << "a file system to turn read-only needs the administrator to mount it";
    }
    NoDesktop desktop;
    RescueViewModel::Services services = RescueViewModel::Services::standard();
    int started = 0;
    services.rescueDrawing = [&, rescue = services.rescueDrawing](const RescueCandidate& candidate,
                                                                  const RescueOptions& options) {
        if (started++ == 1) {  // the second drawing finds the destination read-only
            ::mount(nullptr, QFile::encodeName(destination.path()).constData(), nullptr,
                    MS_REMOUNT | MS_RDONLY, nullptr);
        }
        return rescue(candidate, options);
    };
    RescueViewModel model(desktop, services);
    RescueOptions options = model.options();
    options.jobs = 1;  // "the second drawing" starts after the first has finished
    model.setOptions(options);
    model.add({QStringLiteral(KEELWICK_SOURCE_DIR "/examples/logo-study.idraw"),
               QStringLiteral(KEELWICK_SOURCE_DIR "/examples/poster.idraw"),
               QStringLiteral(KEELWICK_SOURCE_DIR "/examples/product-sheet.idraw")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isLoadingSelectionPreview(); }, 60000));
    model.useOutputFolder(destination.path());
    model.rescueAsSVG();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isRescuing(); }, 120000));

    ASSERT_EQ(model.results().size(), 3);  // the run went on to the end
    EXPECT_FALSE(model.results()[0].errorMessage.has_value());
    for (const RescueResult& failed : model.results().mid(1)) {
        ASSERT_TRUE(failed.errorMessage.has_value());
        EXPECT_TRUE(failed.errorMessage->contains(destination.path()))
            << qPrintable(*failed.errorMessage);
    }
    // Only the first drawing's files, whole; nothing of the others, no temporary leftovers.
    const QStringList written = everythingBelow(destination.path());
    EXPECT_TRUE(written.contains(QStringLiteral("logo-study.svg")))
        << qPrintable(written.join(' '));
    for (const QString& path : written) {
        EXPECT_TRUE(path.startsWith(QLatin1StringView("logo-study"))) << qPrintable(path);
    }
    EXPECT_TRUE(keelwick::testing::readFile(destination.path("logo-study.svg"))
                    .trimmed()
                    .endsWith("</svg>"));
    EXPECT_TRUE(model.currentMessage().startsWith(
        QStringLiteral("The SVG files are saved, but report.txt could not be written: ")))
        << qPrintable(model.currentMessage());
}

}  // namespace
