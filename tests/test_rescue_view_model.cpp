// The main window's model: its first state and stored settings, choosing drawings and the
// destination, the analysis pass with its progress, stop and replacement, and runs with
// their status texts, counts, report.txt, remaining-time estimates, stops, failures and the
// access taken for the chosen locations.
//
// The desktop and the per-drawing work are fakes: panels answer what a test scripted, and
// each drawing's analysis or rescue passes a gate that a test may hold, so that it can act
// exactly while drawing 3 of 10 is being worked on. Drawings are empty files in a temporary
// folder found by the real scan; the destination check and report.txt are real.

#include "workflow/RescueViewModel.h"

#include "support/Files.h"
#include "support/QtPrinting.h"
#include "workflow/DrawingScan.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace keelwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::contents;

const QString kReady = "Ready to rescue.";
const QString kChooseDestination = "Choose where to save the rescued SVGs.";
const QString kScanning = "Scanning selected files and folders…";
const QString kStopping = "Finishing the current drawing, then stopping…";
const QString kCancelled = "Analysis cancelled.";
const QString kTryAgain = "Analysis cancelled, please try again.";
const QString kDone = " drawings checked; preview images saved";
const QString kCountKey = "totalRescuedDrawingCount";

/// Spins the event loop until `condition` holds; a time-out fails the test.
bool waitUntil(const std::function<bool()>& condition, const char* description) {
    const QDeadlineTimer deadline(5s);
    while (!condition()) {
        if (deadline.hasExpired()) {
            ADD_FAILURE() << "timed out waiting for: " << description;
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

#define EVENTUALLY(condition) \
    ASSERT_TRUE(waitUntil([&] { return static_cast<bool>(condition); }, #condition))

/// Lets every queued drawing job and the continuations they hand back run to the end.
void settle() {
    for (int round = 0; round < 5; ++round) {
        drawingJobPool().waitForDone();
        QCoreApplication::processEvents();
    }
}

/// The open panels and file manager of the desktop: records the panels shown and answers
/// with scripted choices; grants scoped access to chosen paths and records every request.
class FakePlatform : public RescuePlatform {
  public:
    QList<OpenPanel> panels;
    /// The answers of the next panels, in order; none left means the user cancels.
    QList<std::optional<QStringList>> answers;
    QStringList revealed, accessStarted, accessStopped;
    QSet<QString> grantable;

    void runOpenPanel(const OpenPanel& panel, PanelAnswer answer) override {
        panels.append(panel);
        answer(answers.isEmpty() ? std::nullopt : answers.takeFirst());
    }
    void revealInFileManager(const QString& path) override { revealed.append(path); }
    bool startAccessingSecurityScopedResource(const QString& path) override {
        accessStarted.append(path);
        return grantable.contains(path);
    }
    void stopAccessingSecurityScopedResource(const QString& path) override {
        accessStopped.append(path);
    }
};

/// Where the fake jobs stop. Every job passes the gate of its key ("scan", "analyse NAME",
/// "rescue NAME") on the drawing-job thread; a held key keeps the job waiting until the test
/// releases it. Arrivals are recorded in order, so a test sees which jobs ran.
class Gates {
  public:
    void hold(const QString& key) {
        std::lock_guard lock(mutex_);
        held_.insert(key);
    }
    void release(const QString& key) {
        std::lock_guard lock(mutex_);
        held_.remove(key);
        changed_.notify_all();
    }
    /// Opens every gate for good: the end of a test must not leave a job waiting.
    void releaseAll() {
        std::lock_guard lock(mutex_);
        isOpen_ = true;
        changed_.notify_all();
    }
    void pass(const QString& key) {
        std::unique_lock lock(mutex_);
        arrivals_.append(key);
        changed_.wait(lock, [&] { return isOpen_ || !held_.contains(key); });
    }
    /// The arrivals whose key starts with `prefix`, without it.
    QStringList arrivals(const QString& prefix) const {
        std::lock_guard lock(mutex_);
        QStringList matching;
        for (const QString& key : arrivals_) {
            if (key.startsWith(prefix)) {
                matching.append(key.mid(prefix.size()));
            }
        }
        return matching;
    }
    qsizetype arrivalCount(const QString& key) const {
        std::lock_guard lock(mutex_);
        return arrivals_.count(key);
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QSet<QString> held_;
    QStringList arrivals_;
    bool isOpen_ = false;
};

QStringList displayPaths(const QList<RescueCandidate>& candidates) {
    QStringList paths;
    for (const RescueCandidate& candidate : candidates) {
        paths.append(displayPath(candidate));
    }
    return paths;
}

QStringList fileNames(const QList<RescueResult>& results) {
    QStringList names;
    for (const RescueResult& result : results) {
        names.append(lastPathComponent(result.sourceURL));
    }
    return names;
}

QStringList numbered(const QString& stem, int count) {
    QStringList names;
    for (int number = 1; number <= count; ++number) {
        names.append(stem + QString::number(number) + ".idraw");
    }
    return names;
}

/// A panel's texts, choices and file types on one line.
QString described(const RescuePlatform::OpenPanel& panel) {
    const auto flag = [](bool on, const char* name) { return on ? QString(name) : QString(); };
    return QStringList{panel.title,
                       panel.message,
                       panel.prompt,
                       flag(panel.canChooseFiles, "files"),
                       flag(panel.canChooseDirectories, "folders"),
                       flag(panel.allowsMultipleSelection, "several"),
                       flag(panel.canCreateDirectories, "new folders"),
                       panel.allowedExtensions.join(u',')}
        .join(" | ");
}

/// The stored setting as text; absent when nothing is stored under the key.
std::optional<QString> stored(const QString& key) {
    const QVariant value = QSettings("Keelwick", "Keelwick").value(key);
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

void store(const QString& key, const QVariant& value) {
    QSettings("Keelwick", "Keelwick").setValue(key, value);
}

QString reportText(const QString& destination) {
    return QString::fromUtf8(testing::readFile(destination + "/report.txt"));
}

/// The mark and title lines of report.txt, one per drawing.
QStringList reportEntries(const QString& destination) {
    QStringList entries;
    for (const QString& line : reportText(destination).split(u'\n')) {
        if (line.startsWith("\u2713 ") || line.startsWith("\u2715 ")) {
            entries.append(line);
        }
    }
    return entries;
}

class RescueViewModelTest : public ::testing::Test {
  protected:
    RescueViewModelTest() {
        QSettings("Keelwick", "Keelwick").clear();
        EXPECT_TRUE(drawings_.isValid() && outputs_.isValid());
    }
    ~RescueViewModelTest() override {
        // No job may outlive the gates, scripts and clock it reads.
        gates_.releaseAll();
        settle();
    }

    RescueViewModel& model() {
        if (!model_) {
            model_ = std::make_unique<RescueViewModel>(platform_, services());
            setJobs(1);  // one drawing at a time, unless a test says otherwise
        }
        return *model_;
    }

    RescueViewModel::Services services() {
        RescueViewModel::Services services;
        services.scan = [this](const QStringList& urls) {
            gates_.pass("scan");
            ScanFindings found = scan(urls);
            found.unreadableFolders.append(unreadable_);
            return found;
        };
        services.installedFonts = [this] {
            ++installedFontsFetches_;
            return InstalledFonts::fromNames({"Helvetica"});
        };
        services.previewMetadata = [this](const QString& url, const InstalledFonts&) {
            const QString name = lastPathComponent(url);
            gates_.pass("analyse " + name);
            std::lock_guard lock(scriptMutex_);
            return metadata_.value(name);
        };
        services.rescueDrawing = [this](const RescueCandidate& candidate,
                                        const RescueOptions& options) {
            const QString name = lastPathComponent(candidate.url);
            gates_.pass("rescue " + name);
            std::lock_guard lock(scriptMutex_);
            runOutputFolders_.append(options.outputFolder);
            RescueResult result;
            result.sourceURL = candidate.url;
            if (failing_.contains(name)) {
                result.errorMessage = "This Graphic/iDraw file could not be opened.";
                result.diagnostics = {"step: unpack"};
                return result;
            }
            result.outputURL = options.outputFolder + u'/' + displayPath(candidate);
            result.missingFonts = resultFonts_.value(name);
            result.embeddedImageCount = 2;
            result.isDryRun = options.isDryRun;
            return result;
        };
        services.now = [this] { return Clock::time_point{} + std::chrono::milliseconds(clockMs_); };
        return services;
    }

    void setJobs(int jobs) {
        RescueOptions options = model().options();
        options.jobs = jobs;
        model().setOptions(options);
    }

    void setClock(std::chrono::milliseconds elapsed) { clockMs_ = elapsed.count(); }

    QString drawingsFolder() const { return QDir::cleanPath(drawings_.path()); }
    QString outputsFolder() const { return QDir::cleanPath(outputs_.path()); }

    /// Empty files below the drawings folder; their content is never read here.
    QStringList makeDrawings(const QStringList& relativePaths) const {
        QStringList paths;
        for (const QString& relativePath : relativePaths) {
            paths.append(testing::writeFile(drawingsFolder() + u'/' + relativePath));
        }
        return paths;
    }

    /// Chooses `folder` in the folder panel; the analysis starts.
    void chooseFolder(const QString& folder) {
        platform_.answers.append(QStringList{folder});
        model().chooseFolder();
    }

    /// Makes the drawings, chooses their folder and waits for the analysis to end.
    void analyse(const QStringList& relativePaths) {
        makeDrawings(relativePaths);
        chooseFolder(drawingsFolder());
        waitUntil([&] { return !model().isLoadingSelectionPreview(); }, "the analysis ends");
    }

    /// Chooses a destination in the panel: the "Keelwick" folder inside outputs/Out.
    QString chooseDestination() {
        const QString chosen = outputsFolder() + "/Out";
        platform_.answers.append(QStringList{chosen});
        model().chooseOutputFolder();
        return chosen + "/Keelwick";
    }

    /// Waits until the job of `key` has arrived at its gate `times` times.
    void reach(const QString& key, qsizetype times = 1) {
        waitUntil([&] { return gates_.arrivalCount(key) == times; }, qPrintable(key));
    }

    void runToTheEnd() {
        waitUntil([&] { return !model().isRescuing(); }, "the run ends");
    }

    void setFailing(const QStringList& names) {
        std::lock_guard lock(scriptMutex_);
        failing_ = QSet<QString>(names.begin(), names.end());
    }

    /// Records every text the status line (or, with `preview`, the analysis status) shows
    /// from now on.
    QStringList* recordMessages(bool preview = false) {
        QStringList* texts = recorded_.emplace_back(std::make_unique<QStringList>()).get();
        const auto changed = preview ? &RescueViewModel::selectionPreviewMessageChanged
                                     : &RescueViewModel::currentMessageChanged;
        QObject::connect(&model(), changed, &model(), [this, texts, preview] {
            texts->append(preview ? model().selectionPreviewMessage() : model().currentMessage());
        });
        return texts;
    }

    QTemporaryDir drawings_;
    QTemporaryDir outputs_;
    FakePlatform platform_;
    Gates gates_;
    std::mutex scriptMutex_;
    QHash<QString, PreviewMetadata> metadata_;  // by file name
    QHash<QString, QStringList> resultFonts_;   // by file name
    QSet<QString> failing_;
    QStringList runOutputFolders_;
    QStringList unreadable_;  // folders the scan says it could not read
    std::atomic<int> installedFontsFetches_ = 0;
    std::atomic<std::int64_t> clockMs_ = 0;
    std::vector<std::unique_ptr<QStringList>> recorded_;
    std::unique_ptr<RescueViewModel> model_;  // last: goes before what it uses
};

// ---- First state and settings ----------------------------------------------------------------

TEST_F(RescueViewModelTest, StartsReadyWithNothingChosenAndReadsTheStoredCount) {
    RescueViewModel& fresh = model();
    EXPECT_EQ(fresh.totalRescuedCount(), 0);
    EXPECT_EQ(fresh.currentMessage(), kReady);
    EXPECT_EQ(fresh.selectionPreviewMessage(), "Preparing preview…");
    EXPECT_FALSE(fresh.canRescue() || fresh.isRescuing() || fresh.showsSelectionPreview() ||
                 fresh.isLoadingSelectionPreview() || fresh.rescueWasCancelled() ||
                 fresh.outputFolderWasChosen());
    EXPECT_TRUE(fresh.isDryRun() && fresh.didStoreOriginalImages());
    EXPECT_EQ(fresh.options().outputFolder, QDir::homePath() + "/Desktop/Keelwick");
    // Reading the settings stores nothing.
    EXPECT_TRUE(QSettings("Keelwick", "Keelwick").allKeys().isEmpty());

    model_.reset();
    store(kCountKey, 41);
    EXPECT_EQ(model().totalRescuedCount(), 41);
}

// ---- The destination -------------------------------------------------------------------------

TEST_F(RescueViewModelTest, ChoosingTheDestinationAppendsKeelwickUnlessTheFolderIsOne) {
    const QString keelwick = outputsFolder() + "/Keelwick";
    const QString parent = outputsFolder() + "/Parent";
    const QString otherCase = outputsFolder() + "/keelwick";
    for (const QString& folder : {keelwick, parent, otherCase}) {
        QDir().mkpath(folder);
    }

    platform_.answers.append(QStringList{keelwick});
    model().chooseOutputFolder();
    ASSERT_EQ(platform_.panels.size(), 1);
    EXPECT_EQ(described(platform_.panels.front()),
              "Where should Keelwick save the preview images? | Choose a folder for preview "
              "images. | Use This Folder |  | folders |  | new folders | ");
    // Nothing stored yet: the panel opens on the desktop.
    EXPECT_EQ(platform_.panels.front().startFolder, QDir::homePath() + "/Desktop");

    EXPECT_EQ(model().options().outputFolder, keelwick);
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().selectedAccessURLs(), QStringList{keelwick});
    EXPECT_EQ(stored("lastDestinationFolder"), keelwick);
    EXPECT_EQ(model().currentMessage(), "Choose Graphic/iDraw drawings to rescue.");

    // The parent gets a "Keelwick" folder; the stored path is standardized; access is for
    // the folder chosen, not the one appended.
    platform_.answers.append(QStringList{outputsFolder() + "/./Parent"});
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, keelwick);
    EXPECT_EQ(QDir::cleanPath(model().options().outputFolder), parent + "/Keelwick");
    EXPECT_EQ(stored("lastDestinationFolder"), parent);
    ASSERT_EQ(model().selectedAccessURLs().size(), 2);
    EXPECT_EQ(QDir::cleanPath(model().selectedAccessURLs().back()), parent);

    // The name is compared with its letter case.
    platform_.answers.append(QStringList{otherCase});
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, parent);
    EXPECT_EQ(model().options().outputFolder, otherCase + "/Keelwick");
    EXPECT_EQ(model().selectedAccessURLs().back(), otherCase);

    // Cancelling changes nothing; a stored folder that is gone opens the desktop again.
    QDir(otherCase).removeRecursively();
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, QDir::homePath() + "/Desktop");
    EXPECT_EQ(model().options().outputFolder, otherCase + "/Keelwick");
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().selectedAccessURLs().size(), 3);
    EXPECT_EQ(stored("lastDestinationFolder"), otherCase);
    EXPECT_EQ(model().currentMessage(), "Choose Graphic/iDraw drawings to rescue.");

    // The file manager is asked for the destination, whether it exists or not.
    model().revealOutput();
    EXPECT_EQ(platform_.revealed, QStringList{otherCase + "/Keelwick"});
}

TEST_F(RescueViewModelTest, CancellingTheFirstDestinationPanelKeepsTheDefault) {
    // A stored destination that is a file now is no folder to start in.
    const QString file = makeDrawings({"Keelwick"}).front();
    store("lastDestinationFolder", file);
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, QDir::homePath() + "/Desktop");
    EXPECT_FALSE(model().outputFolderWasChosen());
    EXPECT_EQ(model().options().outputFolder, RescueOptions::defaultOutputFolder());
    EXPECT_TRUE(model().selectedAccessURLs().isEmpty());
    EXPECT_EQ(stored("lastDestinationFolder"), file);
    EXPECT_EQ(model().currentMessage(), kReady);
}

// ---- Choosing drawings -----------------------------------------------------------------------

TEST_F(RescueViewModelTest, DrawingAndFolderPanelsRememberWhereTheDrawingsAre) {
    const QStringList files = makeDrawings({"Old/a.idraw", "Old/b.idraw"});
    const QString old = drawingsFolder() + "/Old";

    platform_.answers.append(files);
    model().chooseDrawings();
    ASSERT_EQ(platform_.panels.size(), 1);
    EXPECT_EQ(described(platform_.panels.back()),
              "Choose Graphic/iDraw file(s) |  | Choose File(s) | files |  | several |  | idraw");
    EXPECT_EQ(platform_.panels.back().startFolder, std::nullopt);
    // A chosen file stores its folder.
    EXPECT_EQ(stored("lastSourceFolder"), old);
    EXPECT_EQ(model().selectedAccessURLs(), files);
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(model().candidates().value(0).baseFolder, std::nullopt);

    chooseFolder(drawingsFolder());
    EXPECT_EQ(
        described(platform_.panels.back()),
        "Choose a folder with Graphic/iDraw drawings |  | Choose Folder |  | folders |  |  | ");
    EXPECT_EQ(platform_.panels.back().startFolder, old);
    // A chosen folder stores itself.
    EXPECT_EQ(stored("lastSourceFolder"), drawingsFolder());
    EXPECT_EQ(model().selectedAccessURLs(), files + QStringList{drawingsFolder()});
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(displayPaths(model().candidates()), (QStringList{"Old/a.idraw", "Old/b.idraw"}));

    // Cancelling a panel changes nothing and starts nothing.
    const QList<RescueCandidate> before = model().candidates();
    model().chooseDrawings();
    EXPECT_EQ(platform_.panels.back().startFolder, drawingsFolder());
    EXPECT_EQ(model().candidates(), before);
    EXPECT_FALSE(model().isLoadingSelectionPreview());
    EXPECT_EQ(model().selectedAccessURLs().size(), 3);
    settle();
    EXPECT_EQ(gates_.arrivals("scan").size(), 2);

    // A remembered folder that is gone leaves the start to the platform.
    QDir(drawingsFolder()).removeRecursively();
    model().chooseFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, std::nullopt);
}

TEST_F(RescueViewModelTest, DropsNeedALocalFileAndRememberTheFirstItemsFolder) {
    EXPECT_FALSE(model().addDroppedURLs({}));
    EXPECT_FALSE(model().addDroppedURLs({QUrl("https://example.com/a.idraw"), QUrl("mailto:x@y")}));
    EXPECT_FALSE(model().showsSelectionPreview() || model().isLoadingSelectionPreview());
    EXPECT_TRUE(model().selectedAccessURLs().isEmpty());
    EXPECT_EQ(stored("lastSourceFolder"), std::nullopt);
    settle();
    EXPECT_TRUE(gates_.arrivals("scan").isEmpty());

    // The folder first: the folder itself is remembered, and the drawing inside it, dropped
    // as well, is found once, with the folder as its base.
    const QStringList files = makeDrawings({"Old/a.idraw"});
    const QString old = drawingsFolder() + "/Old";
    EXPECT_TRUE(model().addDroppedURLs(
        {QUrl::fromLocalFile(old), QUrl::fromLocalFile(files[0]), QUrl("https://example.com/")}));
    EXPECT_EQ(stored("lastSourceFolder"), old);
    EXPECT_EQ(model().selectedAccessURLs(), (QStringList{old, files[0]}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    ASSERT_EQ(model().candidates().size(), 1);
    EXPECT_EQ(model().candidates().front().baseFolder, old);
    EXPECT_EQ(model().duplicateCandidateCount(), 1);

    // A file remembers its folder, also when nothing is there any more.
    EXPECT_TRUE(model().addDroppedURLs({QUrl::fromLocalFile(drawingsFolder() + "/Gone/x.idraw")}));
    EXPECT_EQ(stored("lastSourceFolder"), drawingsFolder() + "/Gone");
    EVENTUALLY(!model().isLoadingSelectionPreview());
}

// ---- The analysis ----------------------------------------------------------------------------

TEST_F(RescueViewModelTest, AnalysisReportsEachDrawingAndFillsTheCandidates) {
    makeDrawings({"C.idraw", "b/10.idraw", "b/9.idraw", "a.idraw"});
    {
        std::lock_guard lock(scriptMutex_);
        metadata_["a.idraw"] =
            PreviewMetadata{QByteArray("\xFF\xD8 stored picture"), 3, {"Chalkduster"}, {}};
        metadata_["C.idraw"] =
            PreviewMetadata{{}, 0, {}, "This Graphic/iDraw file does not contain data.xml."};
    }
    QStringList* previewMessages = recordMessages(true);
    QStringList* messages = recordMessages();
    for (const char* key : {"scan", "analyse 9.idraw", "analyse 10.idraw"}) {
        gates_.hold(key);
    }

    chooseFolder(drawingsFolder());
    // Scanning: the dialog is open at once, the status line is left alone.
    EXPECT_TRUE(model().showsSelectionPreview() && model().isLoadingSelectionPreview());
    EXPECT_FALSE(model().isCancellingSelectionPreview() || model().canRescue());
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_EQ(model().selectionPreviewProgress(), 0);
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_NE(model().selectionPreviewTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), kReady);

    // Drawings are analysed in display order; the list stays empty until the end.
    gates_.release("scan");
    reach("analyse 9.idraw");
    EXPECT_EQ(model().selectionPreviewMessage(), "Analyzing 2 of 4: 9.idraw");
    EXPECT_EQ(model().selectionPreviewProgress(), 0.25);
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());  // no time has passed
    EXPECT_TRUE(model().candidates().isEmpty());

    setClock(40s);  // two drawings in 40 seconds, two to go
    gates_.release("analyse 9.idraw");
    reach("analyse 10.idraw");
    EXPECT_EQ(model().selectionPreviewMessage(), "Analyzing 3 of 4: 10.idraw");
    EXPECT_EQ(model().selectionPreviewProgress(), 0.5);
    EXPECT_EQ(model().selectionPreviewEstimate(), "about 40 seconds left");

    gates_.release("analyse 10.idraw");
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(gates_.arrivals("analyse "),
              (QStringList{"a.idraw", "9.idraw", "10.idraw", "C.idraw"}));
    EXPECT_EQ(*previewMessages,
              (QStringList{kScanning, "Analyzing 1 of 4: a.idraw", "Analyzing 2 of 4: 9.idraw",
                           "Analyzing 3 of 4: 10.idraw", "Analyzing 4 of 4: C.idraw"}));
    EXPECT_EQ(installedFontsFetches_, 1);

    // Complete: the candidates in display order with their findings, the dialog still open.
    const QList<RescueCandidate>& candidates = model().candidates();
    EXPECT_EQ(displayPaths(candidates),
              (QStringList{"a.idraw", "b/9.idraw", "b/10.idraw", "C.idraw"}));
    ASSERT_EQ(candidates.size(), 4);
    EXPECT_EQ(candidates[0].storedPicture, StoredPicture{17});  // no JPEG: no thumbnail
    EXPECT_EQ(candidates[0].embeddedImageCount, 3);
    EXPECT_EQ(candidates[0].missingFonts, QStringList{"Chalkduster"});
    EXPECT_EQ(candidates[0].fontInspectionError, std::nullopt);
    EXPECT_EQ(candidates[1].storedPicture, std::nullopt);
    EXPECT_EQ(candidates[3].fontInspectionError,
              "This Graphic/iDraw file does not contain data.xml.");
    for (const RescueCandidate& candidate : candidates) {
        EXPECT_TRUE(candidate.isSelected);
        EXPECT_EQ(candidate.baseFolder, drawingsFolder());
    }
    EXPECT_EQ(model().selectionPreviewProgress(), 1);
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());
    EXPECT_EQ(model().selectionPreviewMessage(), "Analyzing 4 of 4: C.idraw");
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_NE(model().selectionPreviewTask(), nullptr);
    EXPECT_EQ(*messages, QStringList{kChooseDestination});
    EXPECT_FALSE(model().canRescue());
    EXPECT_EQ(model().missingFontInspectionIssues(),
              (QList<MissingFontInspectionIssue>{
                  {"C.idraw", "This Graphic/iDraw file does not contain data.xml."}}));
}

TEST_F(RescueViewModelTest, SelectionChangesUpdateTheStatusLine) {
    analyse({"a.idraw", "b.idraw", "c.idraw", "d.idraw"});
    ASSERT_EQ(model().candidates().size(), 4);
    chooseDestination();
    EXPECT_EQ(model().currentMessage(), "4 of 4 drawings ready to rescue.");
    EXPECT_TRUE(model().canRescue());

    const QList<RescueCandidate> candidates = model().candidates();
    model().setCandidatesSelected({candidates[0].id, candidates[2].id}, false);
    EXPECT_EQ(model().currentMessage(), "2 of 4 drawings ready to rescue.");
    EXPECT_EQ(displayPaths(model().selectedCandidates()), (QStringList{"b.idraw", "d.idraw"}));

    model().setCandidatesSelected({candidates[1].id, candidates[3].id}, false);
    EXPECT_EQ(model().currentMessage(), "Select at least one drawing in the preview.");
    EXPECT_FALSE(model().canRescue());

    model().setSelection(candidates[2], true);
    EXPECT_EQ(model().currentMessage(), "1 of 4 drawings ready to rescue.");
    EXPECT_TRUE(model().canRescue());

    // Selecting what is selected, or a candidate that is not in the list, changes nothing.
    model().setCandidatesSelected({candidates[2].id}, true);
    model().setSelection(RescueCandidate(candidates[0].url, candidates[0].baseFolder), true);
    EXPECT_EQ(model().currentMessage(), "1 of 4 drawings ready to rescue.");

    // Deselecting after a run clears its results.
    model().rescue();
    runToTheEnd();
    EXPECT_EQ(model().results().size(), 1);
    model().setSelection(candidates[0], true);
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_EQ(model().currentMessage(), "2 of 4 drawings ready to rescue.");
}

TEST_F(RescueViewModelTest, FindingNoDrawingsKeepsTheDialogOpen) {
    makeDrawings({"notes.txt", "x.idraw.bak"});
    EXPECT_TRUE(model().addDroppedURLs({QUrl::fromLocalFile(drawingsFolder()),
                                        QUrl::fromLocalFile(drawingsFolder() + "/gone.idraw")}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_EQ(model().currentMessage(), "No Graphic/iDraw drawings found yet.");
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_EQ(model().selectionPreviewProgress(), 1);
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(installedFontsFetches_, 0);  // nothing to compare fonts with
}

/// A stop or a clear while the analysis waits at a gate, and what stays of the selection.
struct AnalysisInterruption {
    const char* name;
    int drawings;
    QString heldAt;
    bool clears;          // clears the selection instead of stopping the analysis
    int analysed;         // drawings looked at before the pass ended
    bool keepsSelection;  // the last drawing was done: nothing was left to stop
};

class AnalysisInterruptionTest : public RescueViewModelTest,
                                 public ::testing::WithParamInterface<AnalysisInterruption> {};

TEST_P(AnalysisInterruptionTest, EndsAfterTheCurrentDrawingAndKeepsTheDestination) {
    const AnalysisInterruption& row = GetParam();
    const QString destination = chooseDestination();
    const QStringList names = numbered("drawing", row.drawings);
    makeDrawings(names);
    gates_.hold(row.heldAt);
    chooseFolder(drawingsFolder());
    reach(row.heldAt);
    // Nothing can be rescued while the analysis runs.
    EXPECT_FALSE(model().canRescue());
    const QString before = model().currentMessage();
    model().rescue();
    EXPECT_FALSE(model().isRescuing());
    EXPECT_EQ(model().currentMessage(), before);
    setClock(2s);  // gives the next estimate a value that the end must clear

    if (row.clears) {
        model().clearSelection();
        EXPECT_EQ(model().selectionPreviewTask(), nullptr);
        EXPECT_FALSE(model().showsSelectionPreview() || model().isLoadingSelectionPreview());
        EXPECT_TRUE(model().candidates().isEmpty());
        EXPECT_EQ(model().selectionPreviewProgress(), 0);
        EXPECT_EQ(model().selectionNotice(), QString());
        EXPECT_EQ(model().currentMessage(), kReady);
    } else {
        model().cancelSelectionPreview();
        EXPECT_TRUE(model().isCancellingSelectionPreview() && model().isLoadingSelectionPreview());
        EXPECT_EQ(model().selectionPreviewMessage(), "Stopping analysis…");
        model().cancelSelectionPreview();  // a second request changes nothing
        EXPECT_EQ(model().selectionPreviewMessage(), "Stopping analysis…");
    }
    gates_.release(row.heldAt);
    EVENTUALLY(row.keepsSelection ? !model().isLoadingSelectionPreview()
                                  : model().selectionPreviewMessage() == kCancelled);
    settle();
    EXPECT_EQ(gates_.arrivals("analyse "), names.mid(0, row.analysed));
    EXPECT_EQ(installedFontsFetches_, row.analysed > 0 ? 1 : 0);
    EXPECT_FALSE(model().isCancellingSelectionPreview() || model().isLoadingSelectionPreview());
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());
    EXPECT_EQ(model().progress(), 0);
    EXPECT_TRUE(model().results().isEmpty());
    if (row.keepsSelection) {
        EXPECT_EQ(displayPaths(model().candidates()), names);
        EXPECT_TRUE(model().showsSelectionPreview());
        EXPECT_EQ(model().selectionNotice(), QString());
        EXPECT_EQ(model().selectionPreviewProgress(), 1);
        EXPECT_EQ(model().currentMessage(),
                  QString("%1 of %1 drawings ready to rescue.").arg(row.drawings));
    } else {
        // A stop keeps what was analysed before it; a cleared list stays empty.
        const int kept = row.clears ? 0 : row.analysed;
        EXPECT_EQ(displayPaths(model().candidates()), names.mid(0, kept));
        EXPECT_FALSE(model().showsSelectionPreview());
        EXPECT_EQ(model().selectionPreviewProgress(), 0);
        EXPECT_EQ(model().selectionPreviewTask(), nullptr);
        EXPECT_EQ(model().currentMessage(),
                  kept ? QString("%1 of %1 drawings ready to rescue.").arg(kept) : kReady);
        if (!row.clears) {
            EXPECT_EQ(model().selectionNotice(),
                      kept ? QString("Analysis stopped. The %1 drawings analyzed so far are kept; "
                                     "the other %2 were left out.")
                                 .arg(kept)
                                 .arg(row.drawings - kept)
                           : kTryAgain);
        }
    }
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().options().outputFolder, destination);
    EXPECT_EQ(model().selectedAccessURLs(),
              (QStringList{outputsFolder() + "/Out", drawingsFolder()}));

    // Nothing to stop any more; a new choice clears the notice and starts over.
    const QString shown = model().selectionPreviewMessage();
    model().cancelSelectionPreview();
    EXPECT_EQ(model().selectionPreviewMessage(), shown);
    chooseFolder(drawingsFolder());
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(model().candidates().size(), row.drawings);
}

INSTANTIATE_TEST_SUITE_P(
    , AnalysisInterruptionTest,
    ::testing::Values(AnalysisInterruption{"StopDuringTheThirdOfTen", 10, "analyse drawing3.idraw",
                                           false, 3, false},
                      AnalysisInterruption{"StopDuringTheScan", 1, "scan", false, 0, false},
                      // The stop is tested before each drawing, not after the last.
                      AnalysisInterruption{"StopDuringTheLastDrawing", 3, "analyse drawing3.idraw",
                                           false, 3, true},
                      // A cleared list stays empty, even once the last drawing is done.
                      AnalysisInterruption{"ClearDuringTheLastDrawing", 2, "analyse drawing2.idraw",
                                           true, 2, false},
                      AnalysisInterruption{"ClearDuringTheSecondOfFour", 4,
                                           "analyse drawing2.idraw", true, 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RescueViewModelTest, ANewChoiceDuringAnAnalysisReplacesIt) {
    makeDrawings(
        {"first/a1.idraw", "first/a2.idraw", "first/a3.idraw", "first/a4.idraw", "first/a5.idraw"});
    makeDrawings({"second/b1.idraw", "second/b2.idraw", "second/b3.idraw"});
    gates_.hold("analyse a2.idraw");
    chooseFolder(drawingsFolder() + "/first");
    reach("analyse a2.idraw");

    QStringList* previewMessages = recordMessages(true);
    chooseFolder(drawingsFolder() + "/second");
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_TRUE(model().isLoadingSelectionPreview());

    setClock(1s);
    gates_.release("analyse a2.idraw");
    EVENTUALLY(!model().isLoadingSelectionPreview());
    settle();
    // The earlier pass finished its drawing and went no further, saying nothing.
    EXPECT_EQ(gates_.arrivals("analyse "),
              (QStringList{"a1.idraw", "a2.idraw", "b1.idraw", "b2.idraw", "b3.idraw"}));
    EXPECT_EQ(*previewMessages,
              (QStringList{kScanning, "Analyzing 1 of 3: b1.idraw", "Analyzing 2 of 3: b2.idraw",
                           "Analyzing 3 of 3: b3.idraw"}));
    EXPECT_EQ(displayPaths(model().candidates()),
              (QStringList{"b1.idraw", "b2.idraw", "b3.idraw"}));
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_EQ(model().currentMessage(), kChooseDestination);
}

// ---- Runs ------------------------------------------------------------------------------------

TEST_F(RescueViewModelTest, FoldersTheScanCouldNotReadAreNamedInTheNoticeAndTheReport) {
    const QString base = drawingsFolder() + u'/';
    const struct {
        QStringList folders;
        QString notice;
    } cases[] = {
        {{base + "locked"},
         "Could not read the folder " + base + "locked; drawings inside it were passed over."},
        {{base + "c", base + "b", base + "a"},
         "Could not read 3 folders; drawings inside them were passed over: " + base + "a, " + base +
             "b, " + base + "c."},
        {{base + "b", base + "a", base + "d", base + "c", base + "e"},
         "Could not read 5 folders; drawings inside them were passed over: " + base + "a, " + base +
             "b, " + base + "c and 2 more."},
    };
    for (const auto& [folders, notice] : cases) {
        unreadable_ = folders;
        analyse({"x.idraw"});
        EXPECT_EQ(model().selectionNotice(), notice);
    }
    const QString destination = chooseDestination();
    model().rescue();
    runToTheEnd();
    EXPECT_TRUE(reportText(destination)
                    .contains("Result: 1 rescued, 0 failed\nFolders that could not be read "
                              "(drawings inside them were not checked):\n  " +
                              base + "a\n  " + base + "b\n  " + base + "c\n  " + base + "d\n  " +
                              base + "e\n\n"));
}

TEST_F(RescueViewModelTest, ARescueRunSpeaksOfSVGFilesAndReportsWhereTheyWent) {
    analyse({"a.idraw", "b.idraw", "c.idraw"});
    EXPECT_EQ(model().currentMessage(), kChooseDestination);
    // Without a destination a run only asks for one.
    model().rescue();
    EXPECT_EQ(model().currentMessage(), "Choose where to save the PNG preview images.");
    model().rescueAsSVG();
    EXPECT_EQ(model().currentMessage(), kChooseDestination);
    EXPECT_FALSE(model().isRescuing());
    EXPECT_EQ(model().rescueTask(), nullptr);
    const QString destination = chooseDestination();
    setFailing({"b.idraw"});
    QStringList* messages = recordMessages();

    model().rescueAsSVG();
    EXPECT_FALSE(model().isDryRun());
    runToTheEnd();
    EXPECT_EQ(*messages, QStringList({"Rescuing the drawings…", "Checking save permissions…",
                                      "Rescuing a.idraw…", "Rescuing b.idraw…", "Rescuing c.idraw…",
                                      "2 drawings rescued as SVG, 1 need attention."}));
    EXPECT_TRUE(model().didStoreOriginalImages());
    EXPECT_TRUE(
        reportText(destination).contains("✓ a.idraw\n  Saved to: " + destination + "/a.idraw\n"));

    // A check run afterwards speaks of checks again.
    model().rescue();
    runToTheEnd();
    EXPECT_TRUE(model().isDryRun());
    EXPECT_EQ(model().currentMessage(), "2" + kDone + ", 1 need attention.");
}

TEST_F(RescueViewModelTest, ARunOfTenWithTwoFailuresCountsAndReportsThemAll) {
    store(kCountKey, 5);
    const QStringList names = numbered("drawing", 10);
    analyse(names);
    const QString destination = chooseDestination();
    setFailing({"drawing4.idraw", "drawing7.idraw"});
    QStringList* messages = recordMessages();

    model().rescue();
    EXPECT_TRUE(model().isRescuing() && model().isDryRun());
    EXPECT_FALSE(model().canRescue());
    EXPECT_NE(model().rescueTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), "Checking the drawings…");

    runToTheEnd();
    QStringList expected{"Checking the drawings…", "Checking save permissions…"};
    QStringList report;
    for (const QString& name : names) {
        expected.append("Checking " + name + "…");
        const bool fails = name == "drawing4.idraw" || name == "drawing7.idraw";
        report.append((fails ? "\u2715 " : "\u2713 ") + name);
    }
    expected.append("8" + kDone + ", 2 need attention.");
    EXPECT_EQ(*messages, expected);

    EXPECT_EQ(fileNames(model().results()), names);
    EXPECT_EQ(model().rescuedCount(), 8);
    EXPECT_EQ(model().failedCount(), 2);
    EXPECT_EQ(model().embeddedImageCountForResults(), 16);
    EXPECT_EQ(model().totalRescuedCount(), 13);
    EXPECT_EQ(stored(kCountKey), "13");
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_TRUE(model().canRescue());  // ready for another run
    EXPECT_TRUE(model().reportWasWritten());
    {
        std::lock_guard lock(scriptMutex_);
        EXPECT_EQ(runOutputFolders_, QStringList(10, destination));
    }
    EXPECT_EQ(reportEntries(destination), report);
    EXPECT_TRUE(reportText(destination).contains("Result: 8 rescued, 2 failed\n"));
    EXPECT_TRUE(reportText(destination).contains("Destination: " + destination));
    // The probe file is gone; the fake rescue writes no images.
    EXPECT_EQ(contents(destination), QStringList{"report.txt"});
}

/// A stop while a run waits at a gate (or, with none, while it checks the destination).
struct RunStop {
    const char* name;
    int drawings;
    QString heldAt;
    bool reportBlocked;  // a folder named report.txt is in the report's way
    int done;            // drawings rescued before the run ended
    QString message;     // "DEST" stands for the destination
    bool cancelled;
    bool isRescue = false;  // a rescue run (SVG files written) instead of a check
};

class RunStopTest : public RescueViewModelTest, public ::testing::WithParamInterface<RunStop> {};

TEST_P(RunStopTest, EndsAfterTheCurrentDrawingWithWhatWasDone) {
    const RunStop& row = GetParam();
    const QStringList names = numbered("drawing", row.drawings);
    analyse(names);
    const QString destination = chooseDestination();
    if (row.reportBlocked) {
        ASSERT_TRUE(QDir().mkpath(destination + "/report.txt"));
    }
    if (!row.heldAt.isEmpty()) {
        gates_.hold(row.heldAt);
    }
    if (row.isRescue) {
        model().rescueAsSVG();
    } else {
        model().rescue();
    }
    reach(row.heldAt, row.heldAt.isEmpty() ? 0 : 1);
    model().cancelRescue();
    EXPECT_TRUE(model().isCancellingRescue() && model().isRescuing());
    EXPECT_EQ(model().currentMessage(), kStopping);
    gates_.release(row.heldAt);
    runToTheEnd();
    settle();

    EXPECT_EQ(gates_.arrivals("rescue "), names.mid(0, row.done));
    EXPECT_EQ(fileNames(model().results()), names.mid(0, row.done));
    const QString message = QString(row.message).replace("DEST", destination);
    EXPECT_EQ(model().currentMessage(), message);
    EXPECT_EQ(model().rescueWasCancelled(), row.cancelled);
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(model().rescueTask(), nullptr);
    EXPECT_DOUBLE_EQ(model().progress(), double(row.done) / row.drawings);
    EXPECT_EQ(model().totalRescuedCount(), row.done);  // counted before the report
    EXPECT_EQ(stored(kCountKey),
              row.done ? std::optional(QString::number(row.done)) : std::nullopt);
    // Reset when the destination check passed; set by a rescue that stored images.
    EXPECT_EQ(model().didStoreOriginalImages(), row.isRescue && row.done > 0);
    const bool reported = row.done > 0 && !row.reportBlocked;
    EXPECT_EQ(model().reportWasWritten(), reported);
    if (reported) {
        QStringList entries;
        for (const QString& name : names.mid(0, row.done)) {
            entries.append("\u2713 " + name);
        }
        EXPECT_EQ(reportEntries(destination), entries);
    } else {
        EXPECT_EQ(contents(destination),
                  row.reportBlocked ? QStringList{"report.txt"} : QStringList());
    }

    // Nothing to stop any more.
    model().cancelRescue();
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(model().currentMessage(), message);
}

INSTANTIATE_TEST_SUITE_P(
    , RunStopTest,
    ::testing::Values(
        RunStop{"DuringTheThirdOfTen", 10, "rescue drawing3.idraw", false, 3,
                "Dry run cancelled — 3 of 10 drawings were checked; preview images saved.", true},
        RunStop{"BeforeTheFirstDrawing", 3, "", false, 0,
                "Dry run cancelled — 0 of 3 drawings were checked; preview images saved.", true},
        // The stop comes too late: the run ends as usual.
        RunStop{"DuringTheLastDrawing", 10, "rescue drawing10.idraw", false, 10,
                "10 drawings checked; preview images saved.", false},
        // The report's failure is what the user reads.
        RunStop{"WhenTheReportCannotBeWritten", 4, "rescue drawing2.idraw", true, 2,
                "Preview images are ready, but report.txt could not be written: Could not write "
                "the file “DEST/report.txt”: a folder of that name is in the way; move or "
                "rename it",
                false},
        RunStop{"ARescueDuringTheSecondOfFour", 4, "rescue drawing2.idraw", false, 2,
                "Rescue cancelled — 2 of 4 drawings were rescued as SVG.", true, true},
        RunStop{"ARescueWhoseReportCannotBeWritten", 4, "rescue drawing2.idraw", true, 2,
                "The SVG files are saved, but report.txt could not be written: Could not write "
                "the file “DEST/report.txt”: a folder of that name is in the way; move or "
                "rename it",
                false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RescueViewModelTest, DrawingsInFlightAreCollectedInOrderAndFinishWhenStopped) {
    const QStringList names = numbered("drawing", 8);
    analyse(names);
    const QString destination = chooseDestination();
    setJobs(3);
    for (const QString& held : {"drawing1", "drawing3", "drawing4"}) {
        gates_.hold("rescue " + held + ".idraw");
    }
    model().rescue();
    reach("rescue drawing4.idraw");  // drawing2 finished, so drawing4 took its place
    EXPECT_TRUE(model().results().isEmpty()) << "drawing2 waits for drawing1";
    EXPECT_EQ(model().currentMessage(), "Checking drawing1.idraw…");
    model().cancelRescue();
    gates_.release("rescue drawing3.idraw");
    gates_.release("rescue drawing1.idraw");
    EVENTUALLY(model().results().size() == 3);
    EXPECT_DOUBLE_EQ(model().progress(), 3.0 / 8);
    EXPECT_EQ(model().currentMessage(), kStopping);
    gates_.release("rescue drawing4.idraw");
    runToTheEnd();
    settle();

    EXPECT_EQ(gates_.arrivals("rescue ").size(), 4);
    EXPECT_EQ(fileNames(model().results()), names.mid(0, 4));
    EXPECT_EQ(reportEntries(destination),
              QStringList({"\u2713 drawing1.idraw", "\u2713 drawing2.idraw",
                           "\u2713 drawing3.idraw", "\u2713 drawing4.idraw"}));
    EXPECT_EQ(model().currentMessage(),
              "Dry run cancelled — 4 of 8 drawings were checked; preview images saved.");
}

TEST_F(RescueViewModelTest, ARunWhoseEveryDrawingFailsStillWritesTheReport) {
    const QStringList names = numbered("broken", 3);
    analyse(names);
    const QString destination = chooseDestination();
    setFailing(names);

    model().rescue();
    runToTheEnd();
    EXPECT_EQ(model().currentMessage(), "0" + kDone + ", 3 need attention.");
    EXPECT_EQ(
        reportEntries(destination),
        (QStringList{"\u2715 broken1.idraw", "\u2715 broken2.idraw", "\u2715 broken3.idraw"}));
    EXPECT_TRUE(reportText(destination).contains("Result: 0 rescued, 3 failed\n"));
}

TEST_F(RescueViewModelTest, ADestinationThatCannotBeWrittenEndsTheRunBeforeAnyDrawing) {
    analyse({"a.idraw", "b.idraw"});
    QStringList* messages = recordMessages();

    // An existing folder that even root cannot write into.
    ASSERT_TRUE(QFileInfo("/proc").isDir());
    model().useOutputFolder("/proc");
    messages->clear();
    model().rescue();
    runToTheEnd();
    EXPECT_EQ(*messages, (QStringList{"Checking the drawings…", "Checking save permissions…",
                                      "Could not create the output folder: /proc"}));
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_TRUE(model().didStoreOriginalImages());  // the check did not pass
    EXPECT_EQ(model().rescueTask(), nullptr);
    EXPECT_FALSE(QFileInfo::exists("/proc/report.txt"));
    EXPECT_FALSE(model().reportWasWritten());

    settle();
    EXPECT_TRUE(gates_.arrivals("rescue ").isEmpty());
    EXPECT_EQ(model().totalRescuedCount(), 0);
}

TEST_F(RescueViewModelTest, TwoDrawingsOfARunNeverWriteOnePath) {
    analyse({"Plan.idraw", "Plan.IDRAW", "report.txt/inside.idraw", "other.idraw"});
    const QString destination = chooseDestination();
    RescueOptions options = model().options();
    options.overwriteDestinationFiles = true;
    model().setOptions(options);

    model().rescue();
    runToTheEnd();
    EXPECT_EQ(model().currentMessage(), "2" + kDone + ", 2 need attention.");
    const QList<RescueResult> results = model().results();
    ASSERT_EQ(results.size(), 4);
    // Names differing only in letter case sort as equals: either may come first.
    const RescueResult& firstPlan = results.at(1);
    const RescueResult& secondPlan = results.at(2);
    EXPECT_TRUE(firstPlan.succeeded());
    EXPECT_EQ(secondPlan.errorMessage,
              QStringLiteral("The drawing “%1” of this run already saves its preview image to "
                             "“%2/Plan.png”. Rename one of the two drawings to check both.")
                  .arg(firstPlan.sourceURL, destination));
    EXPECT_EQ(results.at(3).errorMessage,
              QStringLiteral("This drawing's preview image “%1/report.txt/inside.png” would go "
                             "inside “%1/report.txt”, which this run keeps for its report. Rename "
                             "the folder “report.txt” that holds the drawing to check it.")
                  .arg(destination));
    for (const RescueResult& refused : {secondPlan, results.at(3)}) {
        EXPECT_TRUE(refused.diagnostics.contains("failed stage: preparing the destination"));
        EXPECT_TRUE(refused.diagnostics.contains("overwrite allowed: yes"));
    }
    EXPECT_EQ(gates_.arrivals("rescue "),
              (QStringList{"other.idraw", lastPathComponent(firstPlan.sourceURL)}));
    EXPECT_TRUE(model().reportWasWritten());
    EXPECT_EQ(reportEntries(destination).size(), 4);
}

TEST_F(RescueViewModelTest, AccessIsReleasedForExactlyThePathsGranted) {
    const QStringList files = makeDrawings({"a.idraw", "b.idraw"});
    platform_.answers.append(files);
    model().chooseDrawings();
    EVENTUALLY(!model().isLoadingSelectionPreview());
    const QString destination = chooseDestination();
    const QString chosen = outputsFolder() + "/Out";
    platform_.grantable = {destination, files[1]};
    EXPECT_TRUE(platform_.accessStarted.isEmpty());  // choosing takes no access

    gates_.hold("rescue b.idraw");
    model().rescue();
    reach("rescue b.idraw");
    EXPECT_EQ(platform_.accessStarted, (QStringList{destination, files[0], files[1], chosen}));
    EXPECT_TRUE(platform_.accessStopped.isEmpty());  // held for the whole run
    gates_.release("rescue b.idraw");
    runToTheEnd();
    EXPECT_EQ(platform_.accessStopped, (QStringList{destination, files[1]}));

    // A run that fails its destination check releases what it took as well.
    platform_.accessStarted.clear();
    platform_.accessStopped.clear();
    platform_.grantable = {"/proc", files[0]};
    model().useOutputFolder("/proc");
    model().rescue();
    runToTheEnd();
    EXPECT_EQ(model().currentMessage(), "Could not create the output folder: /proc");
    EXPECT_EQ(platform_.accessStarted, (QStringList{"/proc", files[0], files[1], chosen, "/proc"}));
    EXPECT_EQ(platform_.accessStopped, (QStringList{"/proc", files[0], "/proc"}));
}

TEST_F(RescueViewModelTest, EstimatesTheRemainingTimeFromTheRunsPace) {
    const QStringList names = numbered("drawing", 4);
    analyse(names);
    chooseDestination();
    for (const QString& name : names) {
        gates_.hold("rescue " + name);
    }
    auto finish = [&](const QString& name, std::chrono::milliseconds clock) {
        setClock(clock);
        gates_.release("rescue " + name);
    };

    setClock(100s);  // the clock at the start of the run
    model().rescue();
    reach("rescue drawing1.idraw");
    EXPECT_EQ(model().rescueEstimate(), QString());

    finish("drawing1.idraw", 130s);  // 30 s each, 3 to go: 90 s
    EVENTUALLY(model().results().size() == 1);
    EXPECT_EQ(model().rescueEstimate(), "about 2 minutes left");

    finish("drawing2.idraw", 140s);  // 20 s each, 2 to go
    EVENTUALLY(model().results().size() == 2);
    EXPECT_EQ(model().rescueEstimate(), "about 40 seconds left");

    finish("drawing3.idraw", 140s);
    finish("drawing4.idraw", 141s);
    runToTheEnd();
    EXPECT_EQ(model().rescueEstimate(), QString());
}

TEST_F(RescueViewModelTest, ChangingTheSelectionDuringARunDoesNotChangeTheRun) {
    const QStringList names = numbered("drawing", 4);
    analyse(names);
    chooseDestination();
    gates_.hold("rescue drawing2.idraw");
    model().rescue();
    reach("rescue drawing2.idraw");

    model().setSelection(model().candidates()[3], false);
    EXPECT_TRUE(model().results().isEmpty());
    model().clearSelection();
    EXPECT_TRUE(model().isRescuing());
    EXPECT_NE(model().rescueTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), kReady);

    gates_.release("rescue drawing2.idraw");
    runToTheEnd();
    EXPECT_EQ(gates_.arrivals("rescue "), names);
    EXPECT_EQ(fileNames(model().results()), names);
    EXPECT_EQ(model().currentMessage(), "4" + kDone + ".");
}

// Work that outlives its model is neither stopped nor awaited, and changes nothing.
TEST_F(RescueViewModelTest, WorkLeftByAReleasedModelGoesNoFurther) {
    const QStringList names = {"a.idraw", "b.idraw"};
    analyse(names);
    const QString destination = chooseDestination();
    gates_.hold("rescue a.idraw");
    model().rescue();
    reach("rescue a.idraw");
    chooseFolder(drawingsFolder());  // its scan waits behind the held drawing

    model_.reset();
    gates_.release("rescue a.idraw");
    EVENTUALLY(gates_.arrivalCount("scan") == 2);
    settle();
    // The run did not go on to b.idraw nor write a report; the scan started no analysis.
    EXPECT_EQ(gates_.arrivals("rescue "), QStringList{"a.idraw"});
    EXPECT_EQ(gates_.arrivals("analyse "), names);
    EXPECT_EQ(contents(destination), QStringList());
    EXPECT_EQ(stored(kCountKey), std::nullopt);
}

TEST_F(RescueViewModelTest, MissingFontsOfResultsAreLabelledByDisplayPath) {
    makeDrawings({"Art/Old/a.idraw", "Art/b.idraw"});
    const QStringList loose = makeDrawings({"loose/c.idraw"});
    {
        std::lock_guard lock(scriptMutex_);
        resultFonts_["a.idraw"] = {"Chalkduster"};
        resultFonts_["b.idraw"] = {"Zapfino", "Chalkduster"};
        resultFonts_["c.idraw"] = {"Papyrus"};
    }
    EXPECT_TRUE(model().addDroppedURLs(
        {QUrl::fromLocalFile(drawingsFolder() + "/Art"), QUrl::fromLocalFile(loose[0])}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    chooseDestination();
    model().rescue();
    runToTheEnd();
    ASSERT_EQ(model().results().size(), 3);

    const QList<MissingFontGroup> groups = model().missingFontGroupsForResults();
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].name, "Chalkduster");
    EXPECT_EQ(groups[0].references, (QList<MissingFontReference>{{"b.idraw"}, {"Old/a.idraw"}}));
    EXPECT_EQ(groups[1].name, "Papyrus");
    EXPECT_EQ(groups[1].references, (QList<MissingFontReference>{{loose[0]}}));
    EXPECT_EQ(groups[2].name, "Zapfino");
    EXPECT_EQ(groups[2].references, (QList<MissingFontReference>{{"b.idraw"}}));
}

}  // namespace
}  // namespace keelwick
