#pragma once

#include "pipeline/DevToolsPipe.h"
#include "pipeline/PipelineError.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <variant>

#include <sys/types.h>

namespace keelwick {

/// One headless Chromium process and the pages in it that previews are drawn in: the
/// off-screen web views of the preview renderer.
///
/// The browser is started with "--remote-debugging-pipe" and spoken to over `DevToolsPipe`
/// (our commands arrive on its descriptor 3, its replies leave on descriptor 4). It runs in
/// its own process group, in a fresh folder "Keelwick-<UUID>" of the program run's folder
/// (`RunFolder`) that holds its profile and is its working, temporary and configuration
/// folder, so that everything it writes is in there; ending it kills the whole group and
/// removes that folder. Background networking,
/// component updates, sync, extensions and the first-run page are off, and the page's
/// security policy forbids every fetch, so rendering never touches the network.
///
/// A page's document is written into its frame (`Page.setDocumentContent`): half the
/// browser's work of loading the same page from a file, pixel for pixel the same. Only a
/// document too large for one protocol message is loaded from a file in the browser's folder,
/// by a real navigation, and the file is removed once its load has ended. Either way the
/// render waits for the load event of its own document.
///
/// Each page is a window of its own (`Target.createTarget` with `newWindow`): a page in a
/// background tab of a shared window is never painted, and its snapshot would never come.
/// Several threads may use the browser at once, each with a page of its own; a page serves
/// one render at a time.
class HeadlessBrowser {
  public:
    /// One page: its target and the session it is attached as.
    struct Page {
        QString targetId;
        QString sessionId;
        /// The page's main frame, which documents are written into.
        QString frameId;
        /// False once a request of this page timed out: the page may still be loading or
        /// painting, and is closed rather than used again.
        bool isReusable = true;
    };

    /// The switches every headless run of the browser takes: no window, nothing fetched or
    /// updated in the background, no first-run pages; no sandbox when running as root.
    static QStringList switches();

    /// The browser program: `preferred` when it is given, otherwise "/usr/bin/chromium", then
    /// "chromium" on the search path; nothing when there is no such executable file.
    static std::optional<QString> findExecutable(const QString& preferred);
    /// The places `findExecutable` looks, in words, for the message that none was found.
    static QString searchedPlaces(const QString& preferred);

    /// Starts the browser at `executable`. Fails with a web-engine error when it does not
    /// start or does not answer before `deadline`.
    static Outcome<std::unique_ptr<HeadlessBrowser>> start(const QString& executable,
                                                           const QDeadlineTimer& deadline);

    /// Ends the browser's process group and removes its folder.
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser&) = delete;
    HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

    /// False once the process has ended.
    bool isRunning();
    /// False once the pipe broke or a page could not be closed: the browser's state is then
    /// unknown and it should be replaced.
    bool isReusable() const { return isReusable_; }
    pid_t processId() const { return processId_; }
    /// The browser's folder: its profile and everything else it writes.
    QString folder() const { return folder_; }

    /// Opens a new page in a window of its own.
    Outcome<Page> openPage(const QDeadlineTimer& deadline);
    /// Closes `page`; a browser that does not answer is no longer reusable.
    void closePage(const Page& page, const QDeadlineTimer& deadline);
    /// Sets the page's viewport to `size` CSS pixels at one device pixel per CSS pixel.
    std::optional<PipelineError> resizePage(Page& page, QSize size, const QDeadlineTimer& deadline);
    /// Loads `html` as the page and waits for its load event.
    std::optional<PipelineError> loadPage(Page& page, const QString& html,
                                          const QDeadlineTimer& deadline);
    /// A PNG snapshot of the rectangle (0, 0, `size`) of the page at scale 1.
    Outcome<QByteArray> captureScreenshot(Page& page, QSize size, const QDeadlineTimer& deadline);

  private:
    /// Writes `html` into the page's frame and waits for its load.
    std::optional<PipelineError> setContent(Page& page, const QString& html,
                                            const QDeadlineTimer& deadline);
    /// Loads `html` from a file by navigating the page to it, and waits for its load.
    std::optional<PipelineError> navigateToFile(Page& page, const QString& html,
                                                const QDeadlineTimer& deadline);

    HeadlessBrowser(pid_t processId, QString folder, std::unique_ptr<DevToolsPipe> pipe);

    /// The error for a request of `page` that failed while rendering; a time-out makes the
    /// page unfit for reuse, a broken pipe the browser.
    PipelineError failure(Page& page, const DevToolsPipe::Failure& failed, const QString& step);
    /// Why the browser did not start, from its exit status and the last line it wrote.
    QString startFailureReason(const DevToolsPipe::Failure& failed);
    /// Kills the process group, reaps the browser and removes its folder.
    void end();

    pid_t processId_;
    QString folder_;
    std::unique_ptr<DevToolsPipe> pipe_;
    std::atomic<bool> isReusable_ = true;
    bool hasEnded_ = false;
    /// The browser was collected by somebody else; its group is no longer known to be ours.
    bool wasCollected_ = false;
    std::atomic<int> pageNumber_ = 0;
};

}  // namespace keelwick
