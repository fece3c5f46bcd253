#include "pipeline/AppIdentity.h"
#include "pipeline/InterruptSignal.h"
#include "ui/DesktopWindow.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

namespace {

constexpr const char* usage =
    "Usage: keelwick [FILE|FOLDER...]\n"
    "\n"
    "Opens Keelwick, which rescues Graphic/iDraw drawings into open SVG files.\n"
    "Drawings and folders named here are chosen as if they had been dropped on the window.\n"
    "\n"
    "  --help     show this help and quit\n"
    "  --version  show the version and quit\n"
    "\n"
    "For batch and scripted work, see keelwick-cli --help.\n";

/// What the command line asks for before any window exists.
struct Invocation {
    QStringList paths;
    /// Set when the program ends without a window, with this exit status.
    std::optional<int> exitStatus;
};

Invocation readArguments(int argc, char** argv) {
    Invocation invocation;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (!optionsEnded && argument == QLatin1StringView("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == QLatin1StringView("--help")) {
            std::fputs(usage, stdout);
            return {{}, 0};
        } else if (!optionsEnded && argument == QLatin1StringView("--version")) {
            std::printf("keelwick %s\n", qPrintable(keelwick::AppIdentity::versionString()));
            return {{}, 0};
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            std::fprintf(stderr, "keelwick: unknown option %s\nTry keelwick --help.\n",
                         argv[index]);
            return {{}, 2};
        } else {
            invocation.paths.append(QDir::current().absoluteFilePath(argument));
        }
    }
    return invocation;
}

}  // namespace

int main(int argc, char** argv) {
    const Invocation invocation = readArguments(argc, argv);
    if (invocation.exitStatus) {
        return *invocation.exitStatus;
    }
    QGuiApplication application(argc, argv);
    keelwick::DesktopWindow::setUpApplication();

    // SIGTERM (a session ending), SIGHUP and Ctrl-C close the window as Quit does: the drawing
    // in progress completes, the run's temporary folder and the browser go; a second signal
    // ends the program at once, still without leaving them behind.
    keelwick::InterruptSignal interrupt;
    QObject::connect(&interrupt, &keelwick::InterruptSignal::interrupted, &application,
                     &QGuiApplication::quit);

    keelwick::DesktopWindow window;
    if (!window.show()) {
        return 1;
    }
    if (!invocation.paths.isEmpty()) {
        window.choose(invocation.paths);
    }
    return application.exec();
}
