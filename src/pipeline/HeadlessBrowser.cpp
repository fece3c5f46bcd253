#include "pipeline/HeadlessBrowser.h"

#include "pipeline/BackgroundPriority.h"
#include "pipeline/ChildProcessGroups.h"
#include "pipeline/RescueError.h"
#include "pipeline/RunFolder.h"
#include "pipeline/WebEngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace keelwick {
namespace {

using namespace std::chrono_literals;
using Failure = DevToolsPipe::Failure;

const QString kDefaultExecutable = QStringLiteral("/usr/bin/chromium");
const QString kExecutableName = QStringLiteral("chromium");
const QString kBrowserOutputFile = QStringLiteral("browser-output.log");

/// The descriptors Chromium reads commands from and writes replies to with
/// "--remote-debugging-pipe".
constexpr int kBrowserRequestFd = 3;
constexpr int kBrowserReplyFd = 4;
/// Our ends of the pipes are moved at least this high before the child is spawned, so that
/// neither already sits on descriptor 3 or 4, where dup2 would keep its close-on-exec flag.
constexpr int kFirstFreeFd = 10;

/// The browser's environment: this program's, with its temporary folder and its configuration
/// folder (where it keeps its crash reports whatever profile it is given) both the folder it
/// works in, so it writes nothing into the user's own Chromium configuration.
std::vector<QByteArray> browserEnvironment() {
    std::vector<QByteArray> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "TMPDIR=", 7) != 0 &&
            std::strncmp(*variable, "CHROME_CONFIG_HOME=", 19) != 0) {
            variables.emplace_back(*variable);
        }
    }
    variables.emplace_back("TMPDIR=.");
    variables.emplace_back("CHROME_CONFIG_HOME=.");
    return variables;
}

std::vector<char*> pointersTo(std::vector<QByteArray>& texts) {
    std::vector<char*> pointers;
    for (QByteArray& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

/// The browser's arguments: its switches, the pipe and its profile in its own folder.
QStringList browserArguments(const QString& folder) {
    return QStringList{QStringLiteral("--remote-debugging-pipe"),
                       QStringLiteral("--user-data-dir=") + QDir(folder).filePath("profile")} +
           HeadlessBrowser::switches();
}

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

/// Moves `fd` to a descriptor number of at least `kFirstFreeFd`, close-on-exec.
int moveHigh(int fd) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeFd);
    ::close(fd);
    return moved;
}

struct PipeEnds {
    int read = -1;
    int write = -1;
};

std::optional<PipeEnds> makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    return PipeEnds{ends[0], ends[1]};
}

void closeAll(std::initializer_list<int> fds) {
    for (int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

/// Spawns `executable` with `arguments` in a process group of its own, `browserReads` as its
/// descriptor 3 and `browserWrites` as its descriptor 4, standard input and output on
/// /dev/null, standard error into `outputFile`, and no other descriptor of ours. It works in
/// `temporaryFolder` and takes it for its temporary and configuration folders, so that what it
/// keeps there (its single-instance socket, its crash reports) goes with that folder. The folder is
/// named to it as ".": the socket's path must fit in 108 bytes, which a long TMPDIR would exceed,
/// and a relative path is as long as the socket's own name.
struct Spawned {
    pid_t processId = 0;
    /// The errno of a failed spawn, 0 on success.
    int error = 0;
};

Spawned spawn(const QString& executable, const QStringList& arguments, int browserReads,
              int browserWrites, const QString& outputFile, const QString& temporaryFolder) {
    std::vector<QByteArray> texts{QFile::encodeName(executable)};
    for (const QString& argument : arguments) {
        texts.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv = pointersTo(texts);
    std::vector<QByteArray> variables = browserEnvironment();
    std::vector<char*> environment = pointersTo(variables);
    const QByteArray outputPath = QFile::encodeName(outputFile);
    const QByteArray workingFolder = QFile::encodeName(temporaryFolder);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, outputPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, browserReads, kBrowserRequestFd);
    posix_spawn_file_actions_adddup2(&actions, browserWrites, kBrowserReplyFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kBrowserReplyFd + 1);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.constData());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    sigaddset(&defaultSignals, SIGPIPE);
    sigaddset(&defaultSignals, SIGINT);
    sigaddset(&defaultSignals, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t processId = 0;
    const int result = ::posix_spawn(&processId, argv.front(), &actions, &attributes, argv.data(),
                                     environment.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result == 0) {
        BackgroundPriority::applyToProcessGroup(processId);  // its own group: pgid is its pid
    }
    return Spawned{result == 0 ? processId : 0, result};
}

/// A page's document up to this many characters is handed over in the protocol message
/// itself; a larger one is written to a file and navigated to, which knows no size limit.
constexpr qsizetype kLargestDocumentContent = qsizetype{16} * 1024 * 1024;

/// The name of a page's lifecycle event ("init", "load", …), empty for other messages.
QString lifecycleEventName(const QJsonObject& event) {
    if (event.value(QStringLiteral("method")).toString() != QStringLiteral("Page.lifecycleEvent")) {
        return {};
    }
    return event.value(QStringLiteral("params"))
        .toObject()
        .value(QStringLiteral("name"))
        .toString();
}

/// What the browser last wrote on its standard error, shortened: the line of its fatal error
/// when there is one (what made it abort; its crash handler writes more after it), otherwise
/// the last line that says something.
QString lastWords(const QString& outputFile) {
    QFile file(outputFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const qint64 tail = 4096;
    file.seek(std::max<qint64>(0, file.size() - tail));
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(u'\n');
    QString said;
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString trimmed = line->trimmed();
        if (trimmed.contains(QStringLiteral(":FATAL:"))) {
            return trimmed.left(300);
        }
        if (said.isEmpty()) {
            said = trimmed.left(300);
        }
    }
    return said;
}

/// How a child process ended, looked at without collecting it: while it is not collected its
/// process id cannot be reused, so its process group can still be killed safely.
struct Ending {
    bool hasEnded = false;
    /// Somebody else collected it (SIGCHLD ignored): its id may already belong to another.
    bool wasCollected = false;
    QString description;
};

Ending peekEnding(pid_t processId) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(processId), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno == ECHILD ? Ending{true, true, QString()} : Ending{};
    }
    if (info.si_pid != processId) {
        return Ending{};
    }
    const QString description = info.si_code == CLD_EXITED
                                    ? QStringLiteral("exit status %1").arg(info.si_status)
                                    : QStringLiteral("signal %1").arg(info.si_status);
    return Ending{true, false, description};
}

/// Waits up to `patience` for the process to end, without collecting it.
Ending awaitEnding(pid_t processId, std::chrono::milliseconds patience) {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const Ending ending = peekEnding(processId);
        if (ending.hasEnded || std::chrono::steady_clock::now() >= giveUp) {
            return ending;
        }
        std::this_thread::sleep_for(5ms);
    }
}

/// Collects the ended process, waiting up to `patience` for it.
void collect(pid_t processId, std::chrono::milliseconds patience) {
    if (awaitEnding(processId, patience).hasEnded) {
        int status = 0;
        while (::waitpid(processId, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace

QStringList HeadlessBrowser::switches() {
    // The network switches keep Chromium from reaching out at start (on a closed network it
    // would otherwise try many connections and name look-ups).
    QStringList arguments{QStringLiteral("--headless"),
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--no-default-browser-check"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-component-update"),
                          QStringLiteral("--disable-sync"),
                          QStringLiteral("--disable-extensions"),
                          QStringLiteral("--disable-default-apps"),
                          QStringLiteral("--disable-quic"),
                          QStringLiteral("--disable-gpu"),
                          QStringLiteral("--hide-scrollbars"),
                          QStringLiteral("--mute-audio")};
    // Chromium's sandbox refuses to run as root; everyone else keeps it.
    if (::geteuid() == 0) {
        arguments.append(QStringLiteral("--no-sandbox"));
    }
    return arguments;
}

std::optional<QString> HeadlessBrowser::findExecutable(const QString& preferred) {
    if (!preferred.isEmpty()) {
        return isExecutableFile(preferred) ? std::optional(preferred) : std::nullopt;
    }
    if (isExecutableFile(kDefaultExecutable)) {
        return kDefaultExecutable;
    }
    const QString found = QStandardPaths::findExecutable(kExecutableName);
    return found.isEmpty() ? std::nullopt : std::optional(found);
}

QString HeadlessBrowser::searchedPlaces(const QString& preferred) {
    if (!preferred.isEmpty()) {
        return preferred;
    }
    return kDefaultExecutable + QStringLiteral(" or as \"") + kExecutableName +
           QStringLiteral("\" on the search path");
}

Outcome<std::unique_ptr<HeadlessBrowser>> HeadlessBrowser::start(const QString& executable,
                                                                 const QDeadlineTimer& deadline) {
    const QString folder = RunFolder::newPath(QStringLiteral("Keelwick-"));
    if (folder.isEmpty() || !QDir().mkdir(folder)) {
        return WebEngineError::browserNotStarted(
            QStringLiteral("its profile folder could not be created at ") +
            (folder.isEmpty() ? RunFolder::intendedPath() : folder));
    }

    auto requests = makePipe();
    auto replies = makePipe();
    if (!requests || !replies) {
        if (requests) {
            closeAll({requests->read, requests->write});
        }
        QDir(folder).removeRecursively();
        return WebEngineError::browserNotStarted(QString::fromLocal8Bit(std::strerror(errno)));
    }
    const int browserReads = moveHigh(requests->read);
    const int browserWrites = moveHigh(replies->write);
    const auto spawned = spawn(executable, browserArguments(folder), browserReads, browserWrites,
                               QDir(folder).filePath(kBrowserOutputFile), folder);
    closeAll({browserReads, browserWrites});
    if (spawned.error != 0) {
        closeAll({requests->write, replies->read});
        QDir(folder).removeRecursively();
        return WebEngineError::browserNotStarted(
            executable + QStringLiteral(": ") +
            QString::fromLocal8Bit(std::strerror(spawned.error)));
    }

    ChildProcessGroups::add(spawned.processId);
    std::unique_ptr<HeadlessBrowser> browser(new HeadlessBrowser(
        spawned.processId, folder, std::make_unique<DevToolsPipe>(requests->write, replies->read)));
    const auto answered =
        browser->pipe_->call(QStringLiteral("Browser.getVersion"), {}, QString(), deadline);
    if (const auto* failed = errorOf(answered)) {
        // The browser's destructor ends what is left of it.
        if (failed->kind == Failure::Kind::commandFailed) {
            return WebEngineError::requestFailed(QStringLiteral("start"), failed->code,
                                                 failed->message);
        }
        return WebEngineError::browserNotStarted(browser->startFailureReason(*failed));
    }
    return browser;
}

HeadlessBrowser::HeadlessBrowser(pid_t processId, QString folder,
                                 std::unique_ptr<DevToolsPipe> pipe)
    : processId_(processId), folder_(std::move(folder)), pipe_(std::move(pipe)) {}

HeadlessBrowser::~HeadlessBrowser() {
    end();
}

bool HeadlessBrowser::isRunning() {
    if (!hasEnded_) {
        const Ending ending = peekEnding(processId_);
        hasEnded_ = ending.hasEnded;
        wasCollected_ = ending.wasCollected;
    }
    return !hasEnded_ && !pipe_->hasHungUp();
}

Outcome<HeadlessBrowser::Page> HeadlessBrowser::openPage(const QDeadlineTimer& deadline) {
    Page page;
    auto failed = [&](const Failure& failure) -> PipelineError {
        // A browser that cannot even open a page in time is stuck as a whole.
        if (failure.kind == Failure::Kind::timedOut) {
            isReusable_ = false;
        } else if (!page.targetId.isEmpty()) {
            closePage(page, deadline);
        }
        return this->failure(page, failure, QStringLiteral("open a page"));
    };
    auto result = [](const DevToolsPipe::Reply& reply, const QString& key) {
        return std::get<QJsonObject>(reply).value(key);
    };

    const auto created = pipe_->call(QStringLiteral("Target.createTarget"),
                                     {{QStringLiteral("url"), QStringLiteral("about:blank")},
                                      {QStringLiteral("newWindow"), true}},
                                     QString(), deadline);
    if (const auto* failure = errorOf(created)) {
        return failed(*failure);
    }
    page.targetId = result(created, QStringLiteral("targetId")).toString();
    // Flattened sessions: the page's commands travel on the same pipe, marked by session id.
    const auto attached = pipe_->call(
        QStringLiteral("Target.attachToTarget"),
        {{QStringLiteral("targetId"), page.targetId}, {QStringLiteral("flatten"), true}}, QString(),
        deadline);
    if (const auto* failure = errorOf(attached)) {
        return failed(*failure);
    }
    page.sessionId = result(attached, QStringLiteral("sessionId")).toString();
    // Its load events may arrive while another page's render reads the pipe.
    pipe_->listen(page.sessionId);
    const auto frames =
        pipe_->call(QStringLiteral("Page.getFrameTree"), {}, page.sessionId, deadline);
    if (const auto* failure = errorOf(frames)) {
        return failed(*failure);
    }
    page.frameId = result(frames, QStringLiteral("frameTree"))
                       .toObject()
                       .value(QStringLiteral("frame"))
                       .toObject()
                       .value(QStringLiteral("id"))
                       .toString();
    for (const auto& [method, params] :
         {std::pair{QStringLiteral("Page.enable"), QJsonObject{}},
          std::pair{QStringLiteral("Page.setLifecycleEventsEnabled"),
                    QJsonObject{{QStringLiteral("enabled"), true}}}}) {
        const auto reply = pipe_->call(method, params, page.sessionId, deadline);
        if (const auto* failure = errorOf(reply)) {
            return failed(*failure);
        }
    }
    return page;
}

void HeadlessBrowser::closePage(const Page& page, const QDeadlineTimer& deadline) {
    pipe_->forget(page.sessionId);
    const auto closed =
        pipe_->call(QStringLiteral("Target.closeTarget"),
                    {{QStringLiteral("targetId"), page.targetId}}, QString(), deadline);
    if (const auto* failed = errorOf(closed);
        failed && failed->kind != Failure::Kind::commandFailed) {
        isReusable_ = false;  // a browser that cannot close a page is stuck as a whole
    }
}

std::optional<PipelineError> HeadlessBrowser::resizePage(Page& page, QSize size,
                                                         const QDeadlineTimer& deadline) {
    const auto reply = pipe_->call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
                                   {{QStringLiteral("width"), size.width()},
                                    {QStringLiteral("height"), size.height()},
                                    {QStringLiteral("deviceScaleFactor"), 1},
                                    {QStringLiteral("mobile"), false}},
                                   page.sessionId, deadline);
    if (const auto* failed = errorOf(reply)) {
        return failure(page, *failed, QStringLiteral("size the page"));
    }
    return std::nullopt;
}

std::optional<PipelineError> HeadlessBrowser::loadPage(Page& page, const QString& html,
                                                       const QDeadlineTimer& deadline) {
    return html.size() <= kLargestDocumentContent ? setContent(page, html, deadline)
                                                  : navigateToFile(page, html, deadline);
}

std::optional<PipelineError> HeadlessBrowser::setContent(Page& page, const QString& html,
                                                         const QDeadlineTimer& deadline) {
    // What the page reported of its last document is stale now.
    pipe_->waitForEvent(
        page.sessionId, [](const QJsonObject&) { return false; }, QDeadlineTimer(0));
    // The frame keeps its loader for every document written into it, so the new document's
    // load is told apart by order: its "init" comes first.
    bool hasStarted = false;
    bool hasLoaded = false;
    auto follow = [&](const QJsonObject& event) {
        const QString name = lifecycleEventName(event);
        hasStarted = hasStarted || name == QStringLiteral("init");
        hasLoaded = hasLoaded || (hasStarted && name == QStringLiteral("load"));
        return hasLoaded;
    };
    const auto set =
        pipe_->call(QStringLiteral("Page.setDocumentContent"),
                    {{QStringLiteral("frameId"), page.frameId}, {QStringLiteral("html"), html}},
                    page.sessionId, deadline, follow);
    if (const auto* failed = errorOf(set)) {
        return failure(page, *failed, QStringLiteral("load the page"));
    }
    if (hasLoaded) {
        return std::nullopt;
    }
    if (const auto waited = pipe_->waitForEvent(page.sessionId, follow, deadline)) {
        return failure(page, *waited, QStringLiteral("load the page"));
    }
    return std::nullopt;
}

std::optional<PipelineError> HeadlessBrowser::navigateToFile(Page& page, const QString& html,
                                                             const QDeadlineTimer& deadline) {
    const QString path =
        QDir(folder_).filePath(QStringLiteral("preview-%1.html").arg(++pageNumber_));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(html.toUtf8()) < 0 ||
        !file.flush()) {
        return WebEngineError::pageLoadFailed(file.errorString());
    }
    file.close();
    // The document lives in the browser once loaded; a load that never ends keeps reading
    // the file it has opened.
    const struct RemoveWhenDone {
        QString path;
        ~RemoveWhenDone() { QFile::remove(path); }
    } removeWhenDone{path};

    // The load may end before the reply to the navigation arrives: every load seen on the
    // way is remembered by loader id.
    QSet<QString> loadedLoaders;
    auto isLoadOfPage = [](const QJsonObject& event) {
        return lifecycleEventName(event) == QStringLiteral("load");
    };
    auto loaderOf = [](const QJsonObject& event) {
        return event.value(QStringLiteral("params"))
            .toObject()
            .value(QStringLiteral("loaderId"))
            .toString();
    };

    const auto navigated = pipe_->call(
        QStringLiteral("Page.navigate"),
        {{QStringLiteral("url"), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}},
        page.sessionId, deadline, [&](const QJsonObject& event) {
            if (isLoadOfPage(event)) {
                loadedLoaders.insert(loaderOf(event));
            }
        });
    if (const auto* failed = errorOf(navigated)) {
        return failure(page, *failed, QStringLiteral("load the page"));
    }
    const QJsonObject navigation = std::get<QJsonObject>(navigated);
    const QString errorText = navigation.value(QStringLiteral("errorText")).toString();
    if (!errorText.isEmpty()) {
        return WebEngineError::pageLoadFailed(errorText);
    }
    const QString loaderId = navigation.value(QStringLiteral("loaderId")).toString();
    if (loaderId.isEmpty()) {
        page.isReusable = false;
        return WebEngineError::unreadableReply(QStringLiteral("the navigation has no loader id"));
    }
    if (loadedLoaders.contains(loaderId)) {
        return std::nullopt;
    }
    const auto waited = pipe_->waitForEvent(
        page.sessionId,
        [&](const QJsonObject& event) {
            return isLoadOfPage(event) && loaderOf(event) == loaderId;
        },
        deadline);
    if (waited) {
        return failure(page, *waited, QStringLiteral("load the page"));
    }
    return std::nullopt;
}

Outcome<QByteArray> HeadlessBrowser::captureScreenshot(Page& page, QSize size,
                                                       const QDeadlineTimer& deadline) {
    const QJsonObject clip{{QStringLiteral("x"), 0},
                           {QStringLiteral("y"), 0},
                           {QStringLiteral("width"), size.width()},
                           {QStringLiteral("height"), size.height()},
                           {QStringLiteral("scale"), 1}};
    const auto reply = pipe_->call(QStringLiteral("Page.captureScreenshot"),
                                   {{QStringLiteral("format"), QStringLiteral("png")},
                                    {QStringLiteral("clip"), clip},
                                    {QStringLiteral("optimizeForSpeed"), true}},
                                   page.sessionId, deadline);
    if (const auto* failed = errorOf(reply)) {
        return failure(page, *failed, QStringLiteral("take the snapshot"));
    }
    const auto decoded = QByteArray::fromBase64Encoding(
        std::get<QJsonObject>(reply).value(QStringLiteral("data")).toString().toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty()) {
        return WebEngineError::unreadableReply(QStringLiteral("the snapshot holds no image data"));
    }
    return decoded.decoded;
}

PipelineError HeadlessBrowser::failure(Page& page, const Failure& failed, const QString& step) {
    switch (failed.kind) {
        case Failure::Kind::commandFailed:
            return WebEngineError::requestFailed(step, failed.code, failed.message);
        case Failure::Kind::timedOut:
            page.isReusable = false;
            return PipelineError::from(RescueError::previewImageRenderingFailed());
        case Failure::Kind::closed:
            isReusable_ = false;
            return WebEngineError::browserStopped();
        case Failure::Kind::unreadable:
            isReusable_ = false;
            return WebEngineError::unreadableReply(failed.message);
    }
    return WebEngineError::unreadableReply(failed.message);
}

QString HeadlessBrowser::startFailureReason(const Failure& failed) {
    isReusable_ = false;
    if (failed.kind == Failure::Kind::timedOut) {
        return QStringLiteral("it did not answer in time.");
    }
    if (failed.kind == Failure::Kind::unreadable) {
        return QStringLiteral("its answer could not be read (") + failed.message +
               QStringLiteral(").");
    }
    QString reason = QStringLiteral("it ended before it answered");
    const Ending ending = awaitEnding(processId_, 1000ms);
    wasCollected_ = ending.wasCollected;
    if (ending.hasEnded && !ending.wasCollected) {
        reason += QStringLiteral(" (") + ending.description + u')';
    }
    const QString words = lastWords(QDir(folder_).filePath(kBrowserOutputFile));
    return words.isEmpty() ? reason + u'.' : reason + QStringLiteral(": ") + words;
}

void HeadlessBrowser::end() {
    // Closing our ends first lets a browser that is still reading see the end of its pipe.
    pipe_.reset();
    if (processId_ > 0 && !wasCollected_) {
        // The group holds the browser's helpers (zygote, renderers, GPU, network service).
        // The browser is collected only afterwards, so the group id is still ours.
        ::kill(-processId_, SIGKILL);
        ::kill(processId_, SIGKILL);
        ChildProcessGroups::remove(processId_);
        collect(processId_, 5000ms);
    } else {
        ChildProcessGroups::remove(processId_);
    }
    // A helper that was still dying may have held a file open a moment longer.
    if (!QDir(folder_).removeRecursively()) {
        std::this_thread::sleep_for(100ms);
        QDir(folder_).removeRecursively();
    }
}

}  // namespace keelwick
