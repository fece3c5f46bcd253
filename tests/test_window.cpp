// The main window as its users meet it: the real views over a model fed by fake work, read
// and operated through the accessibility tree, as a screen reader would.
#include "support/Files.h"
#include "support/WindowDriver.h"
#include "ui/DesktopWindow.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QAccessible>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QQuickItem>
#include <QQuickStyle>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

using namespace keelwick;
using keelwick::testing::collect;
using keelwick::testing::readFile;
using keelwick::testing::writeFile;

namespace {

class WindowTest : public keelwick::testing::WindowDriverTest {
  protected:
    /// A window whose drawings are found for real, analysed at once and rescued by a fake
    /// that fails drawings named "broken…" and waits at the gate while it is held.
    DesktopWindow& open() {
        RescueViewModel::Services services = RescueViewModel::Services::standard();
        services.installedFonts = [] { return InstalledFonts{}; };
        services.previewMetadata = [this](const QString&, const InstalledFonts&) {
            gate.pass();
            return PreviewMetadata{};
        };
        services.rescueDrawing = [this](const RescueCandidate& candidate, const RescueOptions&) {
            gate.pass();
            RescueResult result;
            result.sourceURL = candidate.url;
            if (QFileInfo(candidate.url).baseName().startsWith(QLatin1StringView("broken"))) {
                result.errorMessage = QStringLiteral("The drawing could not be read.");
            } else {
                result.outputURL = destination.path() + QStringLiteral("/out.svg");
            }
            return result;
        };
        window = std::make_unique<DesktopWindow>(services);
        RescueOptions options = window->model().options();
        options.jobs = 1;  // the gate holds one drawing at a time
        window->model().setOptions(options);
        EXPECT_TRUE(window->show());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window->window()));
        return *window;
    }

    /// Drawing files (empty: the fake work never reads them) in a new folder.
    QString folderWith(const QStringList& names) {
        for (const QString& name : names) {
            writeFile(drawings.path() + QLatin1Char('/') + name);
        }
        return drawings.path();
    }

    /// Answers the panel the window asked for.
    void answerPanel(const QString& path) {
        window->platform().answerPanel({QUrl::fromLocalFile(path)});
    }

    /// Chooses the drawings of `folder` and a destination, closing the review sheet.
    void chooseDrawingsAndDestination(const QString& folder) {
        press(QStringLiteral("Choose Folder"));
        answerPanel(folder);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->model().isLoadingSelectionPreview(); }));
        window->model().setShowsSelectionPreview(false);
        press(QStringLiteral("Choose Destination"));
        answerPanel(destination.path());
    }

    QTemporaryDir drawings, destination;
};

TEST_F(WindowTest, AnEmptyWindowAsksForDrawingsAndADestinationFirst) {
    open();
    screenshot(QStringLiteral("empty"));
    const QStringList texts = readable();
    for (const char* text :
         {"Your designs\ndeserve a\nfuture.", "0 drawings rescued all-time",
          "No drawings selected yet", "Preview image destination",
          "Choose a folder before checking", "Choose a destination in Step 2 before rescuing.",
          "No uploads. No accounts. No lock-in."}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_TRUE(isEnabled(QStringLiteral("Choose Folder")));
    EXPECT_FALSE(isEnabled(QStringLiteral("Start Dry Run")));
    EXPECT_EQ(find(QStringLiteral("Review selection")), nullptr);
}

TEST_F(WindowTest, TheAllTimeCounterSaysDrawingForOne) {
    setSetting(RescueViewModel::totalRescuedCountKey, 1);
    open();
    EXPECT_TRUE(readable().contains(QStringLiteral("1 drawing rescued all-time")));
}

TEST_F(WindowTest, TheHistoryTimelineOpensAtTheFirstLaunchOnly) {
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).clear();
    open();
    ASSERT_TRUE(waitFor(QStringLiteral("Start rescuing"))) << qPrintable(readable().join(" | "));
    screenshot(QStringLiteral("first-launch"));
    EXPECT_TRUE(readable().contains(QStringLiteral(
        "22 June 2020: Apple announces the Mac's move to Apple silicon, with Rosetta 2 "
        "to run Intel apps.")));
    press(QStringLiteral("Start rescuing"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->state().showsLaunchTimeline(); }));

    window.reset();
    open();
    QTest::qWait(50);
    EXPECT_EQ(find(QStringLiteral("Start rescuing")), nullptr);
}

TEST_F(WindowTest, WhileDrawingsAreAnalysedTheFirstTwoStepsWait) {
    open();
    gate.hold();
    window->choose({folderWith({"a.idraw", "b.idraw"})});
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.wasReached(); }));
    ASSERT_TRUE(waitFor(QStringLiteral("Analysis progress")));
    screenshot(QStringLiteral("analysing"));
    EXPECT_FALSE(isEnabled(QStringLiteral("Choose Folder")));
    EXPECT_FALSE(isEnabled(QStringLiteral("Choose Destination")));
    gate.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return isEnabled(QStringLiteral("Choose Folder")); }));
}

TEST_F(WindowTest, DroppedFilesAreChosenAndTheDropZoneLightsUpWhileADragHovers) {
    open();
    const QString folder = folderWith({"a.idraw", "b.idraw"});
    QAccessibleInterface* zone =
        find(QStringLiteral("Drop Graphic/iDraw drawings or folders here"));
    ASSERT_NE(zone, nullptr);
    const QPoint point = window->window()->mapFromGlobal(zone->rect().center());
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(point, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->window(), &enter);
    QDragMoveEvent move(point, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->window(), &move);
    QObject* dropZone = window->window()->findChild<QObject*>(QStringLiteral("dropZone"));
    ASSERT_NE(dropZone, nullptr);
    EXPECT_TRUE(dropZone->property("isDropTargeted").toBool());
    QDropEvent drop(point, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->window(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(dropZone->property("isDropTargeted").toBool());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->model().candidates().size() == 2; }));
}

TEST_F(WindowTest, ChosenDrawingsAndDestinationMakeTheRunReady) {
    open();
    chooseDrawingsAndDestination(folderWith({"a.idraw", "b.idraw", "notes.txt"}));
    screenshot(QStringLiteral("ready"));
    const QStringList texts = readable();
    for (const char* text : {"2 of 2 ready", "Save PNG preview images to", "2 drawings ready",
                             "2 of 2 drawings ready to rescue."}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_TRUE(texts.contains(window->model().options().outputFolder));
    EXPECT_TRUE(isEnabled(QStringLiteral("Change")));
    EXPECT_TRUE(isEnabled(QStringLiteral("Start Dry Run")));

    // Each option of Step 2 sets the model's option and is remembered for the next launch.
    const std::pair<const char*, bool RescueOptions::*> options[] = {
        {"Overwrite destination files", &RescueOptions::overwriteDestinationFiles},
        {"Store embedded images in original format", &RescueOptions::storeOriginalImages},
        {"Write notes about missing fonts", &RescueOptions::writeMissingFontNotes},
        {"Save PNG preview images", &RescueOptions::generatePNGPreviewImages}};
    for (const auto& [label, option] : options) {
        const bool before = window->model().options().*option;
        press(QString::fromUtf8(label));
        EXPECT_EQ(window->model().options().*option, !before) << label;
    }
    const RescueOptions chosen = window->model().options();
    window.reset();
    open();
    for (const auto& [label, option] : options) {
        EXPECT_EQ(window->model().options().*option, chosen.*option) << label;
    }
    chooseDrawingsAndDestination(drawings.path());

    press(QStringLiteral("Clear"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return find(QStringLiteral("No drawings selected yet")); }));
    EXPECT_FALSE(isEnabled(QStringLiteral("Start Dry Run")));
}

TEST_F(WindowTest, ARunShowsItsProgressAndStopsOnceWhenAsked) {
    open();
    chooseDrawingsAndDestination(folderWith({"a.idraw", "b.idraw"}));
    gate.hold();
    press(QStringLiteral("Start Dry Run"));
    ASSERT_TRUE(waitFor(QStringLiteral("Cancel")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.wasReached(); }));
    screenshot(QStringLiteral("running"));
    EXPECT_TRUE(readable().contains(window->model().currentMessage()));
    EXPECT_EQ(find(QStringLiteral("Start Dry Run")), nullptr);  // no second start
    EXPECT_FALSE(isEnabled(QStringLiteral("Choose Folder")));
    EXPECT_FALSE(isEnabled(QStringLiteral("Choose Destination")) ||
                 isEnabled(QStringLiteral("Change")));

    press(QStringLiteral("Cancel"));
    ASSERT_TRUE(waitFor(QStringLiteral("Stopping")));
    screenshot(QStringLiteral("stopping"));
    EXPECT_FALSE(isEnabled(QStringLiteral("Stopping")));
    gate.release();
    ASSERT_TRUE(waitFor(QStringLiteral("Rescue was cancelled.")))
        << qPrintable(readable().join(" | "));
    // The drawing in progress came out well: the report of that drawing opens.
    EXPECT_TRUE(window->state().showsRescueReport());
    EXPECT_EQ(window->model().results().size(), 1);
}

TEST_F(WindowTest, ACancelledRunWithNothingRescuedInvitesToStartAgain) {
    open();
    chooseDrawingsAndDestination(folderWith({"broken.idraw", "c.idraw"}));
    gate.hold();
    press(QStringLiteral("Start Dry Run"));
    ASSERT_TRUE(waitFor(QStringLiteral("Cancel")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.wasReached(); }));
    press(QStringLiteral("Cancel"));
    gate.release();
    ASSERT_TRUE(waitFor(QStringLiteral("Dry run was cancelled. Start again whenever you like.")));
    ASSERT_TRUE(window->state().showsRescueReport());
    press(QStringLiteral("Done"));
    screenshot(QStringLiteral("cancelled"));
    EXPECT_TRUE(isEnabled(QStringLiteral("Start Dry Run")));
}

TEST_F(WindowTest, AFinishedRunOpensItsReportAndCanRevealTheOutput) {
    struct Case {
        const char* start;
        const char* title;
        const char* rescued;
        const char* viewReport;
    };
    for (const Case& run :
         {Case{"Start Dry Run", "Dry run complete", "1 drawing can be rescued",
               "View Dry Run Report"},
          Case{"Rescue as SVG", "Rescue complete", "1 drawing rescued", "View Rescue Report"}}) {
        open();
        chooseDrawingsAndDestination(folderWith({"a.idraw", "broken.idraw"}));
        press(QString::fromUtf8(run.start));
        ASSERT_TRUE(waitFor(QString::fromUtf8(run.title))) << run.start;
        screenshot(QStringLiteral("report"));
        const QStringList texts = readable();
        EXPECT_TRUE(texts.contains(QString::fromUtf8(run.rescued))) << run.start;
        EXPECT_TRUE(texts.contains(QStringLiteral("1 need attention")));
        press(QStringLiteral("Done"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->state().showsRescueReport(); }));
        screenshot(QStringLiteral("finished"));
        EXPECT_TRUE(readable().contains(QStringLiteral("Ready")));
        press(QString::fromUtf8(run.viewReport));
        EXPECT_TRUE(window->state().showsRescueReport());
        EXPECT_TRUE(QFileInfo::exists(window->model().options().outputFolder + "/report.txt"));
    }
}

TEST_F(WindowTest, WhatCannotBeUsedIsSaidInTheWindow) {
    open();
    // Nothing that is a drawing: a text file and a path that no longer exists.
    const QString gone = drawings.path() + QStringLiteral("/gone.idraw");
    EXPECT_FALSE(
        window->model().addDroppedURLs({QUrl(QStringLiteral("https://example.org/a.idraw"))}));
    window->choose({folderWith({"notes.txt"}), gone});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->model().isLoadingSelectionPreview(); }));
    window->model().setShowsSelectionPreview(false);
    EXPECT_TRUE(readable().contains(QStringLiteral("No drawings selected yet")));

    // A destination that cannot be written: the run does not start and says why.
    chooseDrawingsAndDestination(folderWith({"a.idraw"}));
    QDir(window->model().options().outputFolder).removeRecursively();
    writeFile(window->model().options().outputFolder);  // a file where the folder should be
    press(QStringLiteral("Start Dry Run"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->model().isRescuing(); }));
    EXPECT_TRUE(window->model().results().isEmpty());
    EXPECT_TRUE(readable().contains(window->model().currentMessage()));
}

TEST_F(WindowTest, TheKeyboardReachesEveryControlInOrderAndEscapeClosesSheets) {
    open();
    // Keys go to the active window (on a display, the window manager's choice).
    window->window()->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window->window()));
    QStringList focused;
    for (int step = 0; step < 12; ++step) {
        QTest::keyClick(window->window(), Qt::Key_Tab);
        if (QQuickItem* item = window->window()->activeFocusItem()) {
            focused.append(QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name));
        }
    }
    const QStringList expected = {"Choose File(s)",
                                  "Choose Folder",
                                  "Choose Destination",
                                  "Overwrite destination files",
                                  "Store embedded images in original format",
                                  "Write notes about missing fonts",
                                  "Save PNG preview images"};
    EXPECT_EQ(focused.mid(0, expected.size()), expected) << qPrintable(focused.join(" | "));

    window->state().setShowsRescueReport(true);
    ASSERT_TRUE(waitFor(QStringLiteral("Done")));
    QTest::keyClick(window->window(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->state().showsRescueReport(); }));
}

TEST_F(WindowTest, TheAboutWindowOpensOnceAndOffersTheTimeline) {
    open();
    QObject* root = window->window();
    QMetaObject::invokeMethod(root, "showAbout");
    QMetaObject::invokeMethod(root, "showAbout");
    QList<QWindow*> abouts;
    for (QWindow* shown : QGuiApplication::topLevelWindows()) {
        if (shown->title() == QLatin1StringView("About Keelwick") && shown->isVisible()) {
            abouts.append(shown);
        }
    }
    ASSERT_EQ(abouts.size(), 1);
    QList<QAccessibleInterface*> rows;
    collect(QAccessible::queryAccessibleInterface(abouts.front()), rows);
    QStringList names;
    for (QAccessibleInterface* row : rows) {
        names.append(row->text(QAccessible::Name));
    }
    for (const char* name : {"Version ", "Show the Graphic / iDraw timeline",
                             "Why Intel Mac apps are running out of time", "Close"}) {
        EXPECT_TRUE(std::any_of(
            names.begin(), names.end(),
            [&](const QString& shown) { return shown.startsWith(QString::fromUtf8(name)); }))
            << name << " in " << qPrintable(names.join(" | "));
    }
    abouts.front()->close();
}

TEST_F(WindowTest, TheDrawingsListAnnouncesOnlyTheRowsASelectionTouches) {
    open();
    window->choose({folderWith({"a.idraw", "b.idraw", "c.idraw"})});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->model().isLoadingSelectionPreview(); }));
    ReviewTreeModel list(window->model(), window->platform());
    ASSERT_EQ(list.rowCount(), 3);
    QSignalSpy changedRows(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy resets(&list, &QAbstractItemModel::modelReset);
    list.toggle(1);
    ASSERT_EQ(changedRows.size(), 1);
    EXPECT_EQ(changedRows[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(changedRows[0][1].toModelIndex().row(), 1);
    EXPECT_EQ(list.data(list.index(1), ReviewTreeModel::CheckStateRole).toInt(),
              ReviewTreeModel::none);
    EXPECT_TRUE(resets.isEmpty());
    window->model().clearSelection();
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(WindowScale, TheContentShrinksToFitSmallScreensButNotBelowThreeQuarters) {
    struct Case {
        double width, height, scale;
    };
    for (const Case& row : {Case{1920, 1040, 1.0}, Case{1366, 675, 0.75}, Case{1280, 720, 0.8},
                            Case{1180, 900, 1.0}, Case{800, 500, 0.75}}) {
        EXPECT_DOUBLE_EQ(WindowState::fittedScale(row.width, row.height), row.scale)
            << row.width << "x" << row.height;
    }
}

TEST(DesktopPlatformPanels, ANewPanelCancelsTheOneStillWaiting) {
    DesktopPlatform platform;
    QList<std::optional<QStringList>> answers;
    auto record = [&](std::optional<QStringList> answer) { answers.append(answer); };
    platform.runOpenPanel({}, record);
    platform.runOpenPanel({}, record);
    platform.answerPanel({QUrl::fromLocalFile(QStringLiteral("/tmp/a.idraw"))});
    platform.cancelPanel();  // nothing waits any more
    ASSERT_EQ(answers.size(), 2);
    EXPECT_EQ(answers[0], std::nullopt);
    EXPECT_EQ(answers[1], QStringList{QStringLiteral("/tmp/a.idraw")});
}

/// The program as a person starts it from a file manager: real scan, analysis and previews.
TEST(WindowEndToEnd, ChosenDrawingsAreCheckedAndReported) {
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick"))
        .setValue(WindowState::hasSeenLaunchTimelineKey, true);
    QTemporaryDir drawings, destination;
    const QStringList examples =
        QDir(QStringLiteral(KEELWICK_SOURCE_DIR "/examples")).entryList({"*.idraw"});
    ASSERT_FALSE(examples.isEmpty());
    for (const QString& name : examples) {
        QFile::copy(QStringLiteral(KEELWICK_SOURCE_DIR "/examples/") + name,
                    drawings.filePath(name));
    }
    DesktopWindow window;
    ASSERT_TRUE(window.show());
    window.choose({drawings.path()});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !window.model().isLoadingSelectionPreview(); }, 60000));
    window.model().chooseOutputFolder();
    window.platform().answerPanel({QUrl::fromLocalFile(destination.path())});
    ASSERT_TRUE(window.state().stepThreeIsEnabled());
    window.model().rescue();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.model().isRescuing(); }, 120000));
    // Every example converts but the damaged one, which the report explains.
    EXPECT_EQ(window.model().rescuedCount(), examples.size() - 1)
        << qPrintable(window.model().currentMessage());
    EXPECT_EQ(window.model().failedCount(), 1);
    EXPECT_TRUE(window.state().showsRescueReport());
    const QByteArray report = readFile(destination.filePath(QStringLiteral("Keelwick/report.txt")));
    for (const QString& name : examples) {
        EXPECT_TRUE(report.contains(name.toUtf8())) << qPrintable(name);
    }
}

/// What the program answers on a terminal, without opening a window.
TEST(WindowCommandLine, HelpVersionAndUnknownOptionsAnswerWithoutAWindow) {
    struct Case {
        const char* argument;
        int exitStatus;
        const char* output;
    };
    for (const Case& row : {Case{"--help", 0, "Usage: keelwick [FILE|FOLDER...]"},
                            Case{"--version", 0, "keelwick 0."},
                            Case{"--frobnicate", 2, "keelwick: unknown option --frobnicate"}}) {
        QProcess program;
        program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        program.start(QStringLiteral(KEELWICK_WINDOW_PATH), {QString::fromUtf8(row.argument)});
        ASSERT_TRUE(program.waitForFinished(10000)) << row.argument;
        EXPECT_EQ(program.exitCode(), row.exitStatus) << row.argument;
        const QByteArray output = program.readAllStandardOutput() + program.readAllStandardError();
        EXPECT_TRUE(output.startsWith(row.output)) << output.constData();
    }
}

/// A session that ends (SIGTERM) while the window analyses drawings closes it as Quit does:
/// the program exits normally and leaves nothing in the temporary folder.
TEST(WindowCommandLine, EndingTheSessionLeavesNoTemporaryFiles) {
    QTemporaryDir temporary;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), temporary.filePath("config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), temporary.filePath("runtime"));
    QDir(temporary.path())
        .mkdir(QStringLiteral("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KEELWICK_WINDOW_PATH),
                  {QStringLiteral(KEELWICK_SOURCE_DIR "/examples")});
    const auto workFolders = [&] {
        return QDir(temporary.path()).entryList({QStringLiteral("Keelwick-*")}, QDir::Dirs);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !workFolders().isEmpty(); }, 20000));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(workFolders().isEmpty());
}

/// Quitting while a rescue writes: the drawings in progress complete before the window is
/// gone, so every file in the destination is whole, with no temporary or staging file beside.
TEST(WindowEndToEnd, QuittingDuringARescueLeavesNoHalfWrittenFile) {
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).clear();
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick"))
        .setValue(WindowState::hasSeenLaunchTimelineKey, true);
    QTemporaryDir destination;
    // Drawings after the first take their time, so some are in flight when the window goes.
    RescueViewModel::Services services = RescueViewModel::Services::standard();
    services.rescueDrawing = [rescue = services.rescueDrawing,
                              calls = std::make_shared<std::atomic<int>>(0)](
                                 const RescueCandidate& candidate, const RescueOptions& options) {
        if ((*calls)++ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return rescue(candidate, options);
    };
    auto window = std::make_unique<DesktopWindow>(services);
    ASSERT_TRUE(window->show());
    window->choose({QStringLiteral(KEELWICK_SOURCE_DIR "/examples")});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !window->model().isLoadingSelectionPreview(); }, 60000));
    window->model().useOutputFolder(destination.path());
    window->model().rescueAsSVG();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->model().results().isEmpty(); }, 60000));
    window.reset();
    EXPECT_EQ(drawingJobPool().activeThreadCount(), 0) << "a drawing outlived its window";

    QDirIterator files(destination.path(),
                       QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    int svgFiles = 0;
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        EXPECT_FALSE(file.fileName().startsWith(QLatin1Char('.'))) << qPrintable(file.filePath());
        if (file.suffix() == QLatin1StringView("svg")) {
            ++svgFiles;
            EXPECT_TRUE(readFile(file.filePath()).trimmed().endsWith("</svg>"))
                << qPrintable(file.filePath());
        }
    }
    EXPECT_GE(svgFiles, 1);
    // The all-time count grows only when a run ends.
    EXPECT_EQ(QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick"))
                  .value(RescueViewModel::totalRescuedCountKey, 0)
                  .toInt(),
              0);
}

}  // namespace
