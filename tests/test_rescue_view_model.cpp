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

const QString kReady = QStringLiteral("Ready to rescue.");
const QString kChooseDestination = QStringLiteral("Choose where to save the rescued SVGs.");
const QString kScanning = QStringLiteral("Scanning selected files and folders…");
const QString kDone = QStringLiteral(" drawings checked; preview images saved");

/// Spins the event loop until `condition` holds; a time-out fails the test.
bool waitUntil(const std::function<bool()>& condition, const char* description,
               std::chrono::milliseconds timeout = 5s) {
    const QDeadlineTimer deadline(timeout);
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
    QStringList revealed;
    QSet<QString> grantable;
    QStringList accessStarted;
    QStringList accessStopped;

    std::optional<QStringList> runOpenPanel(const OpenPanel& panel) override {
        panels.append(panel);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
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

/// Where the fake jobs stop. Every job passes the gate of its key on the drawing-job thread;
/// a held key keeps the job waiting until the test releases it. Arrivals are recorded in
/// order, so a test sees which jobs ran and which never started.
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
        names.append(stem + QString::number(number) + QStringLiteral(".idraw"));
    }
    return names;
}

/// The stored setting as text; absent when nothing is stored under the key.
std::optional<QString> stored(const QString& key) {
    const QVariant value =
        QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).value(key);
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

void store(const QString& key, const QVariant& value) {
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).setValue(key, value);
}

/// Everything in a folder, hidden items included.
QStringList contents(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

/// The mark and title lines of report.txt, one per drawing.
QStringList reportEntries(const QString& destination) {
    QFile file(destination + QStringLiteral("/report.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no report.txt in " << destination.toStdString();
        return {};
    }
    QStringList entries;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("\u2713 ")) ||
            line.startsWith(QStringLiteral("\u2715 "))) {
            entries.append(line);
        }
    }
    return entries;
}

QString reportText(const QString& destination) {
    QFile file(destination + QStringLiteral("/report.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll());
}

class RescueViewModelTest : public ::testing::Test {
  protected:
    RescueViewModelTest() {
        QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).clear();
        EXPECT_TRUE(drawings_.isValid());
        EXPECT_TRUE(outputs_.isValid());
    }
    ~RescueViewModelTest() override {
        // No job may outlive the gates, scripts and clock it reads.
        gates_.releaseAll();
        settle();
    }

    RescueViewModel& model() {
        if (!model_) {
            model_ = std::make_unique<RescueViewModel>(platform_, services());
        }
        return *model_;
    }

    RescueViewModel::Services services() {
        RescueViewModel::Services services;
        services.scan = [this](const QStringList& urls) {
            gates_.pass(QStringLiteral("scan"));
            ScanFindings found = scan(urls);
            found.unreadableFolders.append(unreadable_);
            return found;
        };
        services.installedFonts = [this] {
            ++installedFontsFetches_;
            return InstalledFonts::fromNames({QStringLiteral("Helvetica")});
        };
        services.previewMetadata = [this](const QString& url, const InstalledFonts&) {
            const QString name = lastPathComponent(url);
            gates_.pass(QStringLiteral("analyse ") + name);
            std::lock_guard lock(scriptMutex_);
            return metadata_.value(name);
        };
        services.rescueDrawing = [this](const RescueCandidate& candidate,
                                        const RescueOptions& options) {
            const QString name = lastPathComponent(candidate.url);
            gates_.pass(QStringLiteral("rescue ") + name);
            std::lock_guard lock(scriptMutex_);
            runOutputFolders_.append(options.outputFolder);
            RescueResult result;
            result.sourceURL = candidate.url;
            if (failing_.contains(name)) {
                result.errorMessage =
                    QStringLiteral("This Graphic/iDraw file could not be opened.");
                result.diagnostics = {QStringLiteral("step: unpack")};
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

    void setClock(std::chrono::milliseconds elapsed) { clockMs_ = elapsed.count(); }

    QString drawingsFolder() const { return QDir::cleanPath(drawings_.path()); }
    QString outputsFolder() const { return QDir::cleanPath(outputs_.path()); }

    /// Empty files below the drawings folder; their content is never read here.
    QStringList makeDrawings(const QStringList& relativePaths) const {
        QStringList paths;
        for (const QString& relativePath : relativePaths) {
            const QString path = drawingsFolder() + u'/' + relativePath;
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            paths.append(path);
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
        EVENTUALLY(!model().isLoadingSelectionPreview());
    }

    /// Chooses a destination in the panel: the "Keelwick" folder inside outputs/Out.
    QString chooseDestination() {
        const QString chosen = outputsFolder() + QStringLiteral("/Out");
        platform_.answers.append(QStringList{chosen});
        model().chooseOutputFolder();
        return chosen + QStringLiteral("/Keelwick");
    }

    void setFailing(const QStringList& names) {
        std::lock_guard lock(scriptMutex_);
        failing_ = QSet<QString>(names.begin(), names.end());
    }

    /// Records every text the status line shows from now on.
    QStringList* recordMessages() {
        return record(&RescueViewModel::currentMessageChanged, &RescueViewModel::currentMessage);
    }
    /// Records every text the analysis status shows from now on.
    QStringList* recordPreviewMessages() {
        return record(&RescueViewModel::selectionPreviewMessageChanged,
                      &RescueViewModel::selectionPreviewMessage);
    }
    QStringList* record(void (RescueViewModel::*changed)(),
                        const QString& (RescueViewModel::*read)() const) {
        QStringList* texts = recorded_.emplace_back(std::make_unique<QStringList>()).get();
        QObject::connect(&model(), changed, &model(),
                         [this, texts, read] { texts->append((model().*read)()); });
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

TEST_F(RescueViewModelTest, StartsReadyWithTheDefaultOptions) {
    RescueViewModel& fresh = model();
    EXPECT_EQ(fresh.totalRescuedCount(), 0);
    EXPECT_EQ(fresh.currentMessage(), kReady);
    EXPECT_FALSE(fresh.canRescue());
    EXPECT_EQ(fresh.selectionPreviewMessage(), QStringLiteral("Preparing preview…"));
    EXPECT_TRUE(fresh.candidates().isEmpty());
    EXPECT_TRUE(fresh.results().isEmpty());
    EXPECT_FALSE(fresh.isRescuing());
    EXPECT_FALSE(fresh.showsSelectionPreview());
    EXPECT_FALSE(fresh.isLoadingSelectionPreview());
    EXPECT_EQ(fresh.progress(), 0);
    EXPECT_EQ(fresh.selectionPreviewProgress(), 0);
    EXPECT_EQ(fresh.selectionPreviewEstimate(), QString());
    EXPECT_EQ(fresh.rescueEstimate(), QString());
    EXPECT_EQ(fresh.selectionNotice(), QString());
    EXPECT_FALSE(fresh.rescueWasCancelled());
    EXPECT_TRUE(fresh.isDryRun());
    EXPECT_FALSE(fresh.outputFolderWasChosen());
    EXPECT_TRUE(fresh.didStoreOriginalImages());
    EXPECT_TRUE(fresh.selectedAccessURLs().isEmpty());
    EXPECT_EQ(fresh.selectionPreviewTask(), nullptr);
    EXPECT_EQ(fresh.rescueTask(), nullptr);

    const RescueOptions& options = fresh.options();
    EXPECT_TRUE(options.writeMissingFontNotes);
    EXPECT_TRUE(options.storeOriginalImages);
    EXPECT_FALSE(options.overwriteDestinationFiles);
    EXPECT_FALSE(options.generatePNGPreviewImages);
    EXPECT_EQ(options.outputFolder, QDir::homePath() + QStringLiteral("/Desktop/Keelwick"));

    // Reading the settings stores nothing.
    EXPECT_TRUE(
        QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).allKeys().isEmpty());
}

TEST_F(RescueViewModelTest, ReadsTheStoredAllTimeCount) {
    store(QStringLiteral("totalRescuedDrawingCount"), 41);
    EXPECT_EQ(model().totalRescuedCount(), 41);
}

// ---- The destination -------------------------------------------------------------------------

TEST_F(RescueViewModelTest, ChoosingTheDestinationAppendsKeelwickUnlessTheFolderIsOne) {
    const QString keelwick = outputsFolder() + QStringLiteral("/Keelwick");
    const QString parent = outputsFolder() + QStringLiteral("/Parent");
    const QString otherCase = outputsFolder() + QStringLiteral("/keelwick");
    QDir().mkpath(keelwick);
    QDir().mkpath(parent);
    QDir().mkpath(otherCase);

    platform_.answers.append(QStringList{keelwick});
    model().chooseOutputFolder();
    ASSERT_EQ(platform_.panels.size(), 1);
    const RescuePlatform::OpenPanel& panel = platform_.panels.front();
    EXPECT_TRUE(panel.title.contains(QStringLiteral("Keelwick"))) << panel.title.toStdString();
    EXPECT_TRUE(panel.title.endsWith(u'?')) << panel.title.toStdString();
    EXPECT_EQ(panel.message, QStringLiteral("Choose a folder for preview images."));
    EXPECT_EQ(panel.prompt, QStringLiteral("Use This Folder"));
    EXPECT_FALSE(panel.canChooseFiles);
    EXPECT_TRUE(panel.canChooseDirectories);
    EXPECT_TRUE(panel.canCreateDirectories);
    EXPECT_FALSE(panel.allowsMultipleSelection);
    // Nothing stored yet: the panel opens on the desktop.
    EXPECT_EQ(panel.startFolder, QDir::homePath() + QStringLiteral("/Desktop"));

    EXPECT_EQ(model().options().outputFolder, keelwick);
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().selectedAccessURLs(), QStringList{keelwick});
    EXPECT_EQ(stored(QStringLiteral("lastDestinationFolder")), keelwick);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("Choose Graphic/iDraw drawings to rescue."));

    // The parent gets a "Keelwick" folder; the stored path is standardized; access is for
    // the folder chosen, not the one appended.
    platform_.answers.append(QStringList{outputsFolder() + QStringLiteral("/./Parent")});
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, keelwick);
    EXPECT_EQ(QDir::cleanPath(model().options().outputFolder),
              parent + QStringLiteral("/Keelwick"));
    EXPECT_EQ(stored(QStringLiteral("lastDestinationFolder")), parent);
    ASSERT_EQ(model().selectedAccessURLs().size(), 2);
    EXPECT_EQ(QDir::cleanPath(model().selectedAccessURLs().back()), parent);

    // The name is compared with its letter case.
    platform_.answers.append(QStringList{otherCase});
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, parent);
    EXPECT_EQ(model().options().outputFolder, otherCase + QStringLiteral("/Keelwick"));
    EXPECT_EQ(model().selectedAccessURLs().back(), otherCase);

    // Cancelling changes nothing; a stored folder that is gone opens the desktop again.
    QDir(otherCase).removeRecursively();
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, QDir::homePath() + QStringLiteral("/Desktop"));
    EXPECT_EQ(model().options().outputFolder, otherCase + QStringLiteral("/Keelwick"));
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().selectedAccessURLs().size(), 3);
    EXPECT_EQ(stored(QStringLiteral("lastDestinationFolder")), otherCase);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("Choose Graphic/iDraw drawings to rescue."));

    // The file manager is asked for the destination, whether it exists or not.
    model().revealOutput();
    EXPECT_EQ(platform_.revealed, QStringList{otherCase + QStringLiteral("/Keelwick")});
}

TEST_F(RescueViewModelTest, CancellingTheFirstDestinationPanelKeepsTheDefault) {
    // A stored destination that is a file now is no folder to start in.
    const QString file = makeDrawings({QStringLiteral("Keelwick")}).front();
    store(QStringLiteral("lastDestinationFolder"), file);
    model().chooseOutputFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, QDir::homePath() + QStringLiteral("/Desktop"));
    EXPECT_EQ(platform_.panels.size(), 1);
    EXPECT_FALSE(model().outputFolderWasChosen());
    EXPECT_EQ(model().options().outputFolder, RescueOptions::defaultOutputFolder());
    EXPECT_TRUE(model().selectedAccessURLs().isEmpty());
    EXPECT_EQ(stored(QStringLiteral("lastDestinationFolder")), file);
    EXPECT_EQ(model().currentMessage(), kReady);
}

// ---- Choosing drawings -----------------------------------------------------------------------

TEST_F(RescueViewModelTest, DrawingAndFolderPanelsRememberWhereTheDrawingsAre) {
    const QStringList files =
        makeDrawings({QStringLiteral("Old/a.idraw"), QStringLiteral("Old/b.idraw")});
    const QString old = drawingsFolder() + QStringLiteral("/Old");

    platform_.answers.append(files);
    model().chooseDrawings();
    ASSERT_EQ(platform_.panels.size(), 1);
    const RescuePlatform::OpenPanel drawingsPanel = platform_.panels.back();
    EXPECT_EQ(drawingsPanel.title, QStringLiteral("Choose Graphic/iDraw file(s)"));
    EXPECT_EQ(drawingsPanel.prompt, QStringLiteral("Choose File(s)"));
    EXPECT_TRUE(drawingsPanel.allowsMultipleSelection);
    EXPECT_TRUE(drawingsPanel.canChooseFiles);
    EXPECT_FALSE(drawingsPanel.canChooseDirectories);
    EXPECT_EQ(drawingsPanel.allowedExtensions, QStringList{QStringLiteral("idraw")});
    EXPECT_EQ(drawingsPanel.startFolder, std::nullopt);
    // A chosen file stores its folder.
    EXPECT_EQ(stored(QStringLiteral("lastSourceFolder")), old);
    EXPECT_EQ(model().selectedAccessURLs(), files);
    EXPECT_TRUE(model().showsSelectionPreview());
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(model().candidates().size(), 2);
    EXPECT_EQ(model().candidates().front().baseFolder, std::nullopt);

    platform_.answers.append(QStringList{drawingsFolder()});
    model().chooseFolder();
    const RescuePlatform::OpenPanel folderPanel = platform_.panels.back();
    EXPECT_EQ(folderPanel.title, QStringLiteral("Choose a folder with Graphic/iDraw drawings"));
    EXPECT_EQ(folderPanel.prompt, QStringLiteral("Choose Folder"));
    EXPECT_FALSE(folderPanel.allowsMultipleSelection);
    EXPECT_FALSE(folderPanel.canChooseFiles);
    EXPECT_TRUE(folderPanel.canChooseDirectories);
    EXPECT_TRUE(folderPanel.allowedExtensions.isEmpty());
    EXPECT_EQ(folderPanel.startFolder, old);
    // A chosen folder stores itself.
    EXPECT_EQ(stored(QStringLiteral("lastSourceFolder")), drawingsFolder());
    EXPECT_EQ(model().selectedAccessURLs(), files + QStringList{drawingsFolder()});
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(displayPaths(model().candidates()),
              (QStringList{QStringLiteral("Old/a.idraw"), QStringLiteral("Old/b.idraw")}));

    // Cancelling a panel changes nothing and starts nothing.
    const QList<RescueCandidate> before = model().candidates();
    model().chooseDrawings();
    EXPECT_EQ(platform_.panels.back().startFolder, drawingsFolder());
    EXPECT_EQ(model().candidates(), before);
    EXPECT_FALSE(model().isLoadingSelectionPreview());
    EXPECT_EQ(model().selectedAccessURLs().size(), 3);
    settle();
    EXPECT_EQ(gates_.arrivals(QStringLiteral("scan")).size(), 2);

    // A remembered folder that is gone leaves the start to the platform.
    QDir(drawingsFolder()).removeRecursively();
    model().chooseFolder();
    EXPECT_EQ(platform_.panels.back().startFolder, std::nullopt);
}

TEST_F(RescueViewModelTest, DropsWithoutLocalFilesAreRefused) {
    EXPECT_FALSE(model().addDroppedURLs({}));
    EXPECT_FALSE(model().addDroppedURLs(
        {QUrl(QStringLiteral("https://example.com/a.idraw")), QUrl(QStringLiteral("mailto:x@y"))}));
    EXPECT_FALSE(model().showsSelectionPreview());
    EXPECT_FALSE(model().isLoadingSelectionPreview());
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Preparing preview…"));
    EXPECT_TRUE(model().selectedAccessURLs().isEmpty());
    EXPECT_EQ(stored(QStringLiteral("lastSourceFolder")), std::nullopt);
    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("scan")).isEmpty());
}

TEST_F(RescueViewModelTest, DropsRememberTheFirstItemsFolder) {
    const QStringList files = makeDrawings({QStringLiteral("Old/a.idraw")});
    const QString old = drawingsFolder() + QStringLiteral("/Old");

    // The folder first: the folder itself is remembered, and the drawing inside it, dropped
    // as well, is found once, with the folder as its base.
    EXPECT_TRUE(model().addDroppedURLs({QUrl::fromLocalFile(old), QUrl::fromLocalFile(files[0]),
                                        QUrl(QStringLiteral("https://example.com/"))}));
    EXPECT_EQ(stored(QStringLiteral("lastSourceFolder")), old);
    EXPECT_EQ(model().selectedAccessURLs(), (QStringList{old, files[0]}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    ASSERT_EQ(model().candidates().size(), 1);
    EXPECT_EQ(model().candidates().front().baseFolder, old);
    EXPECT_EQ(model().duplicateCandidateCount(), 1);

    // A file remembers its folder, also when nothing is there any more.
    const QString gone = drawingsFolder() + QStringLiteral("/Gone/x.idraw");
    EXPECT_TRUE(model().addDroppedURLs({QUrl::fromLocalFile(gone)}));
    EXPECT_EQ(stored(QStringLiteral("lastSourceFolder")),
              drawingsFolder() + QStringLiteral("/Gone"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
}

// ---- The analysis ----------------------------------------------------------------------------

TEST_F(RescueViewModelTest, AnalysisReportsEachDrawingAndFillsTheCandidates) {
    makeDrawings({QStringLiteral("C.idraw"), QStringLiteral("b/10.idraw"),
                  QStringLiteral("b/9.idraw"), QStringLiteral("a.idraw")});
    {
        std::lock_guard lock(scriptMutex_);
        metadata_[QStringLiteral("a.idraw")] = PreviewMetadata{
            QByteArray("\xFF\xD8 stored picture"), 3, {QStringLiteral("Chalkduster")}, {}};
        metadata_[QStringLiteral("C.idraw")] = PreviewMetadata{
            {}, 0, {}, QStringLiteral("This Graphic/iDraw file does not contain data.xml.")};
    }
    QStringList* previewMessages = recordPreviewMessages();
    QStringList* messages = recordMessages();
    gates_.hold(QStringLiteral("scan"));
    gates_.hold(QStringLiteral("analyse 9.idraw"));
    gates_.hold(QStringLiteral("analyse 10.idraw"));

    chooseFolder(drawingsFolder());
    // Scanning: the dialog is open at once, the status line is left alone.
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_TRUE(model().isLoadingSelectionPreview());
    EXPECT_FALSE(model().isCancellingSelectionPreview());
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_EQ(model().selectionPreviewProgress(), 0);
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_NE(model().selectionPreviewTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), kReady);
    EXPECT_FALSE(model().canRescue());

    // Drawings are analysed in display order; the list stays empty until the end.
    gates_.release(QStringLiteral("scan"));
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse 9.idraw")) == 1);
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analyzing 2 of 4: 9.idraw"));
    EXPECT_EQ(model().selectionPreviewProgress(), 0.25);
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());  // no time has passed
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_TRUE(model().isLoadingSelectionPreview());

    setClock(40s);  // two drawings in 40 seconds, two to go
    gates_.release(QStringLiteral("analyse 9.idraw"));
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse 10.idraw")) == 1);
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analyzing 3 of 4: 10.idraw"));
    EXPECT_EQ(model().selectionPreviewProgress(), 0.5);
    EXPECT_EQ(model().selectionPreviewEstimate(), QStringLiteral("about 40 seconds left"));

    gates_.release(QStringLiteral("analyse 10.idraw"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(gates_.arrivals(QStringLiteral("analyse ")),
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
    EXPECT_EQ(candidates[0].previewJPEGData, QByteArray("\xFF\xD8 stored picture"));
    EXPECT_EQ(candidates[0].embeddedImageCount, 3);
    EXPECT_EQ(candidates[0].missingFonts, QStringList{"Chalkduster"});
    EXPECT_EQ(candidates[0].fontInspectionError, std::nullopt);
    EXPECT_EQ(candidates[1].previewJPEGData, std::nullopt);
    EXPECT_EQ(candidates[3].fontInspectionError,
              QStringLiteral("This Graphic/iDraw file does not contain data.xml."));
    for (const RescueCandidate& candidate : candidates) {
        EXPECT_TRUE(candidate.isSelected);
        EXPECT_EQ(candidate.baseFolder, drawingsFolder());
    }
    EXPECT_EQ(model().selectionPreviewProgress(), 1);
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analyzing 4 of 4: C.idraw"));
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_NE(model().selectionPreviewTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), kChooseDestination);
    EXPECT_EQ(*messages, QStringList{kChooseDestination});
    EXPECT_FALSE(model().canRescue());
    EXPECT_EQ(model().missingFontInspectionIssues(),
              (QList<MissingFontInspectionIssue>{
                  {"C.idraw", "This Graphic/iDraw file does not contain data.xml."}}));
}

TEST_F(RescueViewModelTest, SelectionChangesUpdateTheStatusLine) {
    analyse({QStringLiteral("a.idraw"), QStringLiteral("b.idraw"), QStringLiteral("c.idraw"),
             QStringLiteral("d.idraw")});
    ASSERT_EQ(model().candidates().size(), 4);
    EXPECT_EQ(model().currentMessage(), kChooseDestination);

    chooseDestination();
    EXPECT_EQ(model().currentMessage(), QStringLiteral("4 of 4 drawings ready to rescue."));
    EXPECT_TRUE(model().canRescue());

    const QList<RescueCandidate> candidates = model().candidates();
    model().setCandidatesSelected({candidates[0].id, candidates[2].id}, false);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("2 of 4 drawings ready to rescue."));
    EXPECT_EQ(displayPaths(model().selectedCandidates()), (QStringList{"b.idraw", "d.idraw"}));

    model().setCandidatesSelected({}, true);  // no ids: nothing happens
    EXPECT_EQ(model().currentMessage(), QStringLiteral("2 of 4 drawings ready to rescue."));

    model().setCandidatesSelected({candidates[1].id, candidates[3].id}, false);
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Select at least one drawing in the preview."));
    EXPECT_FALSE(model().canRescue());

    model().setSelection(candidates[2], true);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("1 of 4 drawings ready to rescue."));
    EXPECT_TRUE(model().canRescue());

    // Selecting what is selected, or a candidate that is not in the list, changes nothing.
    model().setCandidatesSelected({candidates[2].id}, true);
    model().setSelection(RescueCandidate(candidates[0].url, candidates[0].baseFolder), true);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("1 of 4 drawings ready to rescue."));

    // Deselecting after a run clears its results.
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().results().size(), 1);
    model().setSelection(candidates[0], true);
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_EQ(model().currentMessage(), QStringLiteral("2 of 4 drawings ready to rescue."));
}

TEST_F(RescueViewModelTest, FindingNoDrawingsKeepsTheDialogOpen) {
    makeDrawings({QStringLiteral("notes.txt"), QStringLiteral("x.idraw.bak")});
    EXPECT_TRUE(model().addDroppedURLs({QUrl::fromLocalFile(drawingsFolder()),
                                        QUrl::fromLocalFile(drawingsFolder() + "/gone.idraw")}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_EQ(model().currentMessage(), QStringLiteral("No Graphic/iDraw drawings found yet."));
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_EQ(model().selectionPreviewProgress(), 1);
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(installedFontsFetches_, 0);  // nothing to compare fonts with
}

TEST_F(RescueViewModelTest, StoppingDuringTheThirdOfTenDrawingsDiscardsTheSelection) {
    const QStringList names = numbered(QStringLiteral("drawing"), 10);
    makeDrawings(names);
    gates_.hold(QStringLiteral("analyse drawing3.idraw"));
    chooseFolder(drawingsFolder());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse drawing3.idraw")) == 1);
    setClock(2s);  // gives the next estimate a value that the stop must clear

    model().cancelSelectionPreview();
    EXPECT_TRUE(model().isCancellingSelectionPreview());
    EXPECT_TRUE(model().isLoadingSelectionPreview());
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Stopping analysis…"));
    model().cancelSelectionPreview();  // a second request changes nothing
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Stopping analysis…"));

    // The third drawing finishes; the fourth and later are never looked at.
    gates_.release(QStringLiteral("analyse drawing3.idraw"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    settle();
    EXPECT_EQ(gates_.arrivals(QStringLiteral("analyse ")), names.mid(0, 3));

    EXPECT_FALSE(model().isCancellingSelectionPreview());
    EXPECT_FALSE(model().showsSelectionPreview());
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_EQ(model().progress(), 0);
    EXPECT_EQ(model().selectionPreviewProgress(), 0);
    EXPECT_EQ(model().selectionPreviewEstimate(), QString());
    EXPECT_EQ(model().selectionNotice(), QStringLiteral("Analysis cancelled, please try again."));
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analysis cancelled."));
    EXPECT_EQ(model().currentMessage(), kReady);
    EXPECT_EQ(model().selectionPreviewTask(), nullptr);

    // Nothing to stop any more; a new choice clears the notice and starts over.
    model().cancelSelectionPreview();
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analysis cancelled."));
    chooseFolder(drawingsFolder());
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(model().candidates().size(), 10);
}

TEST_F(RescueViewModelTest, StoppingDuringTheScanAnalysesNothing) {
    makeDrawings({QStringLiteral("a.idraw")});
    gates_.hold(QStringLiteral("scan"));
    chooseFolder(drawingsFolder());
    model().cancelSelectionPreview();
    gates_.release(QStringLiteral("scan"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("analyse ")).isEmpty());
    EXPECT_EQ(installedFontsFetches_, 0);
    EXPECT_EQ(model().selectionPreviewMessage(), QStringLiteral("Analysis cancelled."));
    EXPECT_EQ(model().selectionNotice(), QStringLiteral("Analysis cancelled, please try again."));
    EXPECT_FALSE(model().showsSelectionPreview());
}

// The stop is tested before each drawing, not after the last: once the last drawing is
// analysed there is nothing left to stop, and the selection is kept.
TEST_F(RescueViewModelTest, StoppingDuringTheLastDrawingKeepsTheSelection) {
    makeDrawings({QStringLiteral("a.idraw"), QStringLiteral("b.idraw"), QStringLiteral("c.idraw")});
    gates_.hold(QStringLiteral("analyse c.idraw"));
    chooseFolder(drawingsFolder());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse c.idraw")) == 1);
    model().cancelSelectionPreview();
    gates_.release(QStringLiteral("analyse c.idraw"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_EQ(displayPaths(model().candidates()), (QStringList{"a.idraw", "b.idraw", "c.idraw"}));
    EXPECT_TRUE(model().showsSelectionPreview());
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(model().selectionPreviewProgress(), 1);
    EXPECT_FALSE(model().isCancellingSelectionPreview());
}

TEST_F(RescueViewModelTest, ClearingDuringTheLastDrawingKeepsTheListEmpty) {
    makeDrawings({QStringLiteral("a.idraw"), QStringLiteral("b.idraw")});
    gates_.hold(QStringLiteral("analyse b.idraw"));
    chooseFolder(drawingsFolder());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse b.idraw")) == 1);
    model().clearSelection();
    gates_.release(QStringLiteral("analyse b.idraw"));
    EVENTUALLY(model().selectionPreviewMessage() == QStringLiteral("Analysis cancelled."));
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_FALSE(model().showsSelectionPreview());
    EXPECT_EQ(model().currentMessage(), kReady);
}

TEST_F(RescueViewModelTest, ClearingDuringAnAnalysisStopsItAndClosesTheDialog) {
    makeDrawings({QStringLiteral("a.idraw"), QStringLiteral("b.idraw"), QStringLiteral("c.idraw"),
                  QStringLiteral("d.idraw")});
    const QString destination = chooseDestination();
    gates_.hold(QStringLiteral("analyse b.idraw"));
    chooseFolder(drawingsFolder());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse b.idraw")) == 1);
    EXPECT_FALSE(model().canRescue());

    model().clearSelection();
    EXPECT_EQ(model().selectionPreviewTask(), nullptr);
    EXPECT_FALSE(model().showsSelectionPreview());
    EXPECT_FALSE(model().isLoadingSelectionPreview());
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_EQ(model().selectionPreviewProgress(), 0);
    EXPECT_EQ(model().selectionNotice(), QString());
    EXPECT_EQ(model().currentMessage(), kReady);

    gates_.release(QStringLiteral("analyse b.idraw"));
    EVENTUALLY(model().selectionPreviewMessage() == QStringLiteral("Analysis cancelled."));
    settle();
    EXPECT_EQ(gates_.arrivals(QStringLiteral("analyse ")), (QStringList{"a.idraw", "b.idraw"}));
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_FALSE(model().showsSelectionPreview());
    EXPECT_EQ(model().currentMessage(), kReady);
    // The destination and the access list stay.
    EXPECT_TRUE(model().outputFolderWasChosen());
    EXPECT_EQ(model().options().outputFolder, destination);
    EXPECT_EQ(model().selectedAccessURLs(),
              (QStringList{outputsFolder() + QStringLiteral("/Out"), drawingsFolder()}));
}

TEST_F(RescueViewModelTest, ANewChoiceDuringAnAnalysisReplacesIt) {
    const QStringList first = {"first/a1.idraw", "first/a2.idraw", "first/a3.idraw",
                               "first/a4.idraw", "first/a5.idraw"};
    makeDrawings(first);
    makeDrawings({"second/b1.idraw", "second/b2.idraw", "second/b3.idraw"});
    gates_.hold(QStringLiteral("analyse a2.idraw"));
    chooseFolder(drawingsFolder() + QStringLiteral("/first"));
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse a2.idraw")) == 1);

    QStringList* previewMessages = recordPreviewMessages();
    chooseFolder(drawingsFolder() + QStringLiteral("/second"));
    EXPECT_EQ(model().selectionPreviewMessage(), kScanning);
    EXPECT_TRUE(model().candidates().isEmpty());
    EXPECT_TRUE(model().isLoadingSelectionPreview());

    setClock(1s);
    gates_.release(QStringLiteral("analyse a2.idraw"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    settle();
    // The earlier pass finished its drawing and went no further, saying nothing.
    EXPECT_EQ(gates_.arrivals(QStringLiteral("analyse ")),
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

TEST_F(RescueViewModelTest, NothingCanBeRescuedWhileTheAnalysisRuns) {
    makeDrawings({QStringLiteral("a.idraw")});
    chooseDestination();
    analyse({QStringLiteral("a.idraw")});
    EXPECT_TRUE(model().canRescue());

    gates_.hold(QStringLiteral("analyse a.idraw"));
    chooseFolder(drawingsFolder());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("analyse a.idraw")) == 2);
    EXPECT_FALSE(model().canRescue());
    const QString before = model().currentMessage();
    model().rescue();
    EXPECT_FALSE(model().isRescuing());
    EXPECT_EQ(model().currentMessage(), before);
    gates_.release(QStringLiteral("analyse a.idraw"));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    EXPECT_TRUE(model().canRescue());
    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("rescue ")).isEmpty());
}

// ---- Runs ------------------------------------------------------------------------------------

TEST_F(RescueViewModelTest, StartingWithoutADestinationOnlyAsksForOne) {
    analyse({QStringLiteral("a.idraw")});
    model().rescue();
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Choose where to save the PNG preview images."));
    EXPECT_FALSE(model().isRescuing());
    EXPECT_EQ(model().rescueTask(), nullptr);

    // With a destination but nothing selected the button does nothing at all.
    chooseDestination();
    model().setCandidatesSelected({model().candidates().front().id}, false);
    const QString before = model().currentMessage();
    model().rescue();
    EXPECT_EQ(model().currentMessage(), before);
    EXPECT_FALSE(model().isRescuing());
    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("rescue ")).isEmpty());
}

TEST_F(RescueViewModelTest, FoldersTheScanCouldNotReadAreNamedInTheNoticeAndTheReport) {
    const QString base = drawingsFolder() + u'/';
    const struct {
        QStringList folders;
        QString notice;
    } cases[] = {
        {{base + "locked"},
         "Could not read the folder " + base + "locked; drawings inside it were passed over."},
        {{base + "b", base + "a", base + "d", base + "c", base + "e"},
         "Could not read 5 folders; drawings inside them were passed over: " + base + "a, " + base +
             "b, " + base + "c and 2 more."},
    };
    for (const auto& [folders, notice] : cases) {
        unreadable_ = folders;
        analyse({QStringLiteral("x.idraw")});
        EXPECT_EQ(model().selectionNotice(), notice);
    }
    const QString destination = chooseDestination();
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_TRUE(reportText(destination)
                    .contains("Result: 1 rescued, 0 failed\nFolders that could not be read "
                              "(drawings inside them were "
                              "not checked):\n  " +
                              base + "a\n  " + base + "b\n  " + base + "c\n  " + base + "d\n  " +
                              base + "e\n\n"));
}

TEST_F(RescueViewModelTest, ARescueRunSpeaksOfSVGFilesAndReportsWhereTheyWent) {
    analyse({QStringLiteral("a.idraw"), QStringLiteral("b.idraw"), QStringLiteral("c.idraw")});
    EXPECT_EQ(model().currentMessage(), QStringLiteral("Choose where to save the rescued SVGs."));
    model().rescueAsSVG();  // no destination yet
    EXPECT_FALSE(model().isRescuing());
    const QString destination = chooseDestination();
    setFailing({QStringLiteral("b.idraw")});
    QStringList* messages = recordMessages();

    model().rescueAsSVG();
    EXPECT_FALSE(model().isDryRun());
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(*messages, QStringList({"Rescuing the drawings…", "Checking save permissions…",
                                      "Rescuing a.idraw…", "Rescuing b.idraw…", "Rescuing c.idraw…",
                                      "2 drawings rescued as SVG, 1 need attention."}));
    EXPECT_TRUE(model().didStoreOriginalImages());
    EXPECT_TRUE(
        reportText(destination).contains("✓ a.idraw\n  Saved to: " + destination + "/a.idraw\n"));

    // A check run afterwards speaks of checks again.
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_TRUE(model().isDryRun());
    EXPECT_EQ(model().currentMessage(), QStringLiteral("2") + kDone + ", 1 need attention.");
}

TEST_F(RescueViewModelTest, ARunOfTenWithTwoFailuresCountsAndReportsThemAll) {
    store(QStringLiteral("totalRescuedDrawingCount"), 5);
    const QStringList names = numbered(QStringLiteral("drawing"), 10);
    analyse(names);
    const QString destination = chooseDestination();
    setFailing({QStringLiteral("drawing4.idraw"), QStringLiteral("drawing7.idraw")});
    QStringList* messages = recordMessages();

    model().rescue();
    EXPECT_TRUE(model().isRescuing());
    EXPECT_FALSE(model().canRescue());
    EXPECT_TRUE(model().isDryRun());
    EXPECT_NE(model().rescueTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("Checking the drawings…"));

    EVENTUALLY(!model().isRescuing());
    QStringList expected{QStringLiteral("Checking the drawings…"),
                         QStringLiteral("Checking save permissions…")};
    for (const QString& name : names) {
        expected.append(QStringLiteral("Checking ") + name + QStringLiteral("…"));
    }
    expected.append(QStringLiteral("8") + kDone + QStringLiteral(", 2 need attention."));
    EXPECT_EQ(*messages, expected);

    EXPECT_EQ(fileNames(model().results()), names);
    EXPECT_EQ(model().rescuedCount(), 8);
    EXPECT_EQ(model().failedCount(), 2);
    EXPECT_EQ(model().embeddedImageCountForResults(), 16);
    EXPECT_EQ(model().progress(), 1);
    EXPECT_EQ(model().totalRescuedCount(), 13);
    EXPECT_EQ(stored(QStringLiteral("totalRescuedDrawingCount")), QStringLiteral("13"));
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(model().rescueEstimate(), QString());
    EXPECT_EQ(model().rescueTask(), nullptr);
    EXPECT_FALSE(model().didStoreOriginalImages());
    EXPECT_TRUE(model().isDryRun());
    EXPECT_TRUE(model().canRescue());  // ready for another run
    EXPECT_TRUE(model().reportWasWritten());
    {
        std::lock_guard lock(scriptMutex_);
        EXPECT_EQ(runOutputFolders_, QStringList(10, destination));
    }

    QStringList report;
    for (const QString& name : names) {
        const bool fails = name == "drawing4.idraw" || name == "drawing7.idraw";
        report.append((fails ? QStringLiteral("\u2715 ") : QStringLiteral("\u2713 ")) + name);
    }
    EXPECT_EQ(reportEntries(destination), report);
    EXPECT_TRUE(reportText(destination).contains(QStringLiteral("Result: 8 rescued, 2 failed\n")));
    EXPECT_TRUE(reportText(destination).contains(QStringLiteral("Destination: ") + destination));
    // The probe file is gone; the fake rescue writes no images.
    EXPECT_EQ(contents(destination), QStringList{QStringLiteral("report.txt")});
}

TEST_F(RescueViewModelTest, StoppingDuringTheThirdOfTenDrawingsEndsAfterIt) {
    const QStringList names = numbered(QStringLiteral("drawing"), 10);
    analyse(names);
    const QString destination = chooseDestination();
    gates_.hold(QStringLiteral("rescue drawing3.idraw"));

    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue drawing3.idraw")) == 1);
    model().cancelRescue();
    EXPECT_TRUE(model().isCancellingRescue());
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Finishing the current drawing, then stopping…"));
    EXPECT_TRUE(model().isRescuing());

    gates_.release(QStringLiteral("rescue drawing3.idraw"));
    EVENTUALLY(!model().isRescuing());
    settle();
    EXPECT_EQ(gates_.arrivals(QStringLiteral("rescue ")), names.mid(0, 3));
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Dry run cancelled — 3 of 10 drawings were checked; preview images "
                             "saved."));
    EXPECT_TRUE(model().rescueWasCancelled());
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(fileNames(model().results()), names.mid(0, 3));
    EXPECT_DOUBLE_EQ(model().progress(), 0.3);
    EXPECT_EQ(model().totalRescuedCount(), 3);
    EXPECT_EQ(
        reportEntries(destination),
        (QStringList{"\u2713 drawing1.idraw", "\u2713 drawing2.idraw", "\u2713 drawing3.idraw"}));

    // A stop during the last drawing comes too late: the run ends as usual.
    gates_.hold(QStringLiteral("rescue drawing10.idraw"));
    model().rescue();
    EXPECT_FALSE(model().rescueWasCancelled());
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue drawing10.idraw")) == 1);
    model().cancelRescue();
    gates_.release(QStringLiteral("rescue drawing10.idraw"));
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().currentMessage(), QStringLiteral("10") + kDone + QStringLiteral("."));
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_EQ(model().results().size(), 10);
    EXPECT_EQ(model().totalRescuedCount(), 13);
    EXPECT_EQ(reportEntries(destination).size(), 10);

    // Nothing to stop any more.
    model().cancelRescue();
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(model().currentMessage(), QStringLiteral("10") + kDone + QStringLiteral("."));
}

TEST_F(RescueViewModelTest, ARunWhoseEveryDrawingFailsStillWritesTheReport) {
    store(QStringLiteral("totalRescuedDrawingCount"), 7);
    const QStringList names = numbered(QStringLiteral("broken"), 3);
    analyse(names);
    const QString destination = chooseDestination();
    setFailing(names);

    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("0") + kDone + QStringLiteral(", 3 need attention."));
    EXPECT_EQ(model().totalRescuedCount(), 7);
    EXPECT_EQ(stored(QStringLiteral("totalRescuedDrawingCount")), QStringLiteral("7"));
    EXPECT_EQ(
        reportEntries(destination),
        (QStringList{"\u2715 broken1.idraw", "\u2715 broken2.idraw", "\u2715 broken3.idraw"}));
    EXPECT_TRUE(reportText(destination).contains(QStringLiteral("Result: 0 rescued, 3 failed\n")));
}

TEST_F(RescueViewModelTest, ADestinationThatCannotBeWrittenEndsTheRunBeforeAnyDrawing) {
    analyse({QStringLiteral("a.idraw"), QStringLiteral("b.idraw")});
    QStringList* messages = recordMessages();

    // An existing folder that even root cannot write into.
    ASSERT_TRUE(QFileInfo(QStringLiteral("/proc")).isDir());
    model().useOutputFolder(QStringLiteral("/proc"));
    messages->clear();
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(*messages, (QStringList{"Checking the drawings…", "Checking save permissions…",
                                      "Could not create the output folder: /proc"}));
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_TRUE(model().didStoreOriginalImages());  // the check did not pass
    EXPECT_EQ(model().rescueTask(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/report.txt")));
    EXPECT_FALSE(model().reportWasWritten());

    // A destination below a regular file cannot be made at all.
    const QString plain = outputsFolder() + QStringLiteral("/plain");
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
    }
    model().useOutputFolder(plain + QStringLiteral("/Keelwick"));
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(
        model().currentMessage(),
        QStringLiteral("Could not create the folder “%1/Keelwick”: Not a directory").arg(plain));
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_EQ(contents(outputsFolder()), QStringList{QStringLiteral("plain")});
    EXPECT_EQ(QFileInfo(plain).size(), 12);

    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("rescue ")).isEmpty());
    EXPECT_EQ(model().totalRescuedCount(), 0);
}

TEST_F(RescueViewModelTest, AReportThatCannotBeWrittenKeepsTheResults) {
    const QStringList names = numbered(QStringLiteral("drawing"), 4);
    analyse(names);
    const QString destination = chooseDestination();
    ASSERT_TRUE(QDir().mkpath(destination + QStringLiteral("/report.txt")));

    // Stopped during the second drawing, but the report failure is what the user reads.
    gates_.hold(QStringLiteral("rescue drawing2.idraw"));
    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue drawing2.idraw")) == 1);
    model().cancelRescue();
    gates_.release(QStringLiteral("rescue drawing2.idraw"));
    EVENTUALLY(!model().isRescuing());

    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Preview images are ready, but report.txt could not be written: "
                             "Could not write the file “%1/report.txt”: a folder of that name is "
                             "in the way; move or rename it")
                  .arg(destination));
    EXPECT_EQ(fileNames(model().results()), names.mid(0, 2));
    EXPECT_FALSE(model().rescueWasCancelled());
    EXPECT_FALSE(model().isCancellingRescue());
    EXPECT_EQ(model().rescueTask(), nullptr);
    EXPECT_EQ(model().totalRescuedCount(), 2);  // counted before the report
    EXPECT_FALSE(model().reportWasWritten());
    EXPECT_TRUE(QFileInfo(destination + QStringLiteral("/report.txt")).isDir());
    EXPECT_EQ(contents(destination), QStringList{QStringLiteral("report.txt")});
}

TEST_F(RescueViewModelTest, TwoDrawingsOfARunNeverWriteOnePath) {
    analyse({QStringLiteral("Plan.idraw"), QStringLiteral("Plan.IDRAW"),
             QStringLiteral("report.txt/inside.idraw"), QStringLiteral("other.idraw")});
    const QString destination = chooseDestination();
    RescueOptions options = model().options();
    options.overwriteDestinationFiles = true;
    model().setOptions(options);

    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("2") + kDone + QStringLiteral(", 2 need attention."));
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
    EXPECT_EQ(gates_.arrivals(QStringLiteral("rescue ")),
              (QStringList{"other.idraw", lastPathComponent(firstPlan.sourceURL)}));
    EXPECT_TRUE(model().reportWasWritten());
    EXPECT_EQ(reportEntries(destination).size(), 4);
}

TEST_F(RescueViewModelTest, AccessIsReleasedForExactlyThePathsGranted) {
    const QStringList files = makeDrawings({QStringLiteral("a.idraw"), QStringLiteral("b.idraw")});
    platform_.answers.append(files);
    model().chooseDrawings();
    EVENTUALLY(!model().isLoadingSelectionPreview());
    const QString destination = chooseDestination();
    const QString chosen = outputsFolder() + QStringLiteral("/Out");
    platform_.grantable = {destination, files[1]};
    EXPECT_TRUE(platform_.accessStarted.isEmpty());  // choosing takes no access

    gates_.hold(QStringLiteral("rescue b.idraw"));
    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue b.idraw")) == 1);
    EXPECT_EQ(platform_.accessStarted, (QStringList{destination, files[0], files[1], chosen}));
    EXPECT_TRUE(platform_.accessStopped.isEmpty());  // held for the whole run
    gates_.release(QStringLiteral("rescue b.idraw"));
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(platform_.accessStopped, (QStringList{destination, files[1]}));

    // A run that fails its destination check releases what it took as well.
    platform_.accessStarted.clear();
    platform_.accessStopped.clear();
    platform_.grantable = {QStringLiteral("/proc"), files[0]};
    model().useOutputFolder(QStringLiteral("/proc"));
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Could not create the output folder: /proc"));
    EXPECT_EQ(platform_.accessStarted, (QStringList{"/proc", files[0], files[1], chosen, "/proc"}));
    EXPECT_EQ(platform_.accessStopped, (QStringList{"/proc", files[0], "/proc"}));
}

TEST_F(RescueViewModelTest, EstimatesTheRemainingTimeFromTheRunsPace) {
    const QStringList names = numbered(QStringLiteral("drawing"), 4);
    analyse(names);
    chooseDestination();
    for (const QString& name : names) {
        gates_.hold(QStringLiteral("rescue ") + name);
    }
    auto finish = [&](const QString& name, std::chrono::milliseconds clock) {
        setClock(clock);
        gates_.release(QStringLiteral("rescue ") + name);
    };

    setClock(100s);  // the clock at the start of the run
    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue drawing1.idraw")) == 1);
    EXPECT_EQ(model().rescueEstimate(), QString());

    finish(QStringLiteral("drawing1.idraw"), 130s);  // 30 s each, 3 to go: 90 s
    EVENTUALLY(model().results().size() == 1);
    EXPECT_EQ(model().rescueEstimate(), QStringLiteral("about 2 minutes left"));
    EXPECT_EQ(model().progress(), 0.25);

    finish(QStringLiteral("drawing2.idraw"), 140s);  // 20 s each, 2 to go
    EVENTUALLY(model().results().size() == 2);
    EXPECT_EQ(model().rescueEstimate(), QStringLiteral("about 40 seconds left"));
    EXPECT_EQ(model().progress(), 0.5);

    finish(QStringLiteral("drawing3.idraw"), 140s);  // 13.3 s to go
    EVENTUALLY(model().results().size() == 3);
    EXPECT_EQ(model().rescueEstimate(), QStringLiteral("about 15 seconds left"));

    finish(QStringLiteral("drawing4.idraw"), 141s);
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(model().rescueEstimate(), QString());
    EXPECT_EQ(model().progress(), 1);
}

TEST_F(RescueViewModelTest, ChangingTheSelectionDuringARunDoesNotChangeTheRun) {
    const QStringList names = numbered(QStringLiteral("drawing"), 4);
    analyse(names);
    chooseDestination();
    gates_.hold(QStringLiteral("rescue drawing2.idraw"));
    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue drawing2.idraw")) == 1);

    model().setSelection(model().candidates()[3], false);
    EXPECT_TRUE(model().results().isEmpty());
    model().clearSelection();
    EXPECT_TRUE(model().isRescuing());
    EXPECT_NE(model().rescueTask(), nullptr);
    EXPECT_EQ(model().currentMessage(), kReady);

    gates_.release(QStringLiteral("rescue drawing2.idraw"));
    EVENTUALLY(!model().isRescuing());
    EXPECT_EQ(gates_.arrivals(QStringLiteral("rescue ")), names);
    EXPECT_EQ(fileNames(model().results()), names);
    EXPECT_EQ(model().currentMessage(), QStringLiteral("4") + kDone + QStringLiteral("."));
}

TEST_F(RescueViewModelTest, StoppingBeforeTheFirstDrawingWritesNoReport) {
    const QStringList names = numbered(QStringLiteral("drawing"), 3);
    analyse(names);
    const QString destination = chooseDestination();
    model().rescue();
    model().cancelRescue();  // still checking the destination
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Finishing the current drawing, then stopping…"));
    EVENTUALLY(!model().isRescuing());
    settle();
    EXPECT_TRUE(gates_.arrivals(QStringLiteral("rescue ")).isEmpty());
    EXPECT_EQ(model().currentMessage(),
              QStringLiteral("Dry run cancelled — 0 of 3 drawings were checked; preview images "
                             "saved."));
    EXPECT_TRUE(model().rescueWasCancelled());
    EXPECT_TRUE(model().results().isEmpty());
    EXPECT_FALSE(model().didStoreOriginalImages());  // the check passed
    EXPECT_FALSE(model().reportWasWritten());
    EXPECT_EQ(contents(destination), QStringList());
    EXPECT_EQ(stored(QStringLiteral("totalRescuedDrawingCount")), std::nullopt);
}

// Work that outlives its model is neither stopped nor awaited, and changes nothing.
TEST_F(RescueViewModelTest, WorkLeftByAReleasedModelGoesNoFurther) {
    const QStringList names = {QStringLiteral("a.idraw"), QStringLiteral("b.idraw")};
    analyse(names);
    const QString destination = chooseDestination();
    gates_.hold(QStringLiteral("rescue a.idraw"));
    model().rescue();
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("rescue a.idraw")) == 1);
    chooseFolder(drawingsFolder());  // its scan waits behind the held drawing

    model_.reset();
    gates_.release(QStringLiteral("rescue a.idraw"));
    EVENTUALLY(gates_.arrivalCount(QStringLiteral("scan")) == 2);
    settle();
    // The run did not go on to b.idraw nor write a report; the scan started no analysis.
    EXPECT_EQ(gates_.arrivals(QStringLiteral("rescue ")), QStringList{"a.idraw"});
    EXPECT_EQ(gates_.arrivals(QStringLiteral("analyse ")), names);
    EXPECT_EQ(contents(destination), QStringList());
    EXPECT_EQ(stored(QStringLiteral("totalRescuedDrawingCount")), std::nullopt);
}

TEST_F(RescueViewModelTest, MissingFontsOfResultsAreLabelledByDisplayPath) {
    const QStringList inFolder =
        makeDrawings({QStringLiteral("Art/Old/a.idraw"), QStringLiteral("Art/b.idraw")});
    const QStringList loose = makeDrawings({QStringLiteral("loose/c.idraw")});
    {
        std::lock_guard lock(scriptMutex_);
        resultFonts_[QStringLiteral("a.idraw")] = {QStringLiteral("Chalkduster")};
        resultFonts_[QStringLiteral("b.idraw")] = {QStringLiteral("Zapfino"),
                                                   QStringLiteral("Chalkduster")};
        resultFonts_[QStringLiteral("c.idraw")] = {QStringLiteral("Papyrus")};
    }
    EXPECT_TRUE(model().addDroppedURLs(
        {QUrl::fromLocalFile(drawingsFolder() + "/Art"), QUrl::fromLocalFile(loose[0])}));
    EVENTUALLY(!model().isLoadingSelectionPreview());
    chooseDestination();
    model().rescue();
    EVENTUALLY(!model().isRescuing());
    ASSERT_EQ(model().results().size(), 3);

    const QList<MissingFontGroup> groups = model().missingFontGroupsForResults();
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].name, QStringLiteral("Chalkduster"));
    EXPECT_EQ(groups[0].references, (QList<MissingFontReference>{{"b.idraw"}, {"Old/a.idraw"}}));
    EXPECT_EQ(groups[1].name, QStringLiteral("Papyrus"));
    EXPECT_EQ(groups[1].references, (QList<MissingFontReference>{{loose[0]}}));
    EXPECT_EQ(groups[2].name, QStringLiteral("Zapfino"));
    EXPECT_EQ(groups[2].references, (QList<MissingFontReference>{{"b.idraw"}}));
}

}  // namespace
}  // namespace keelwick
