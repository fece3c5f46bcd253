#include "cli/ProgressDisplay.h"

#include "pipeline/ControlCharacters.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace keelwick::cli {
namespace {

constexpr int kBarCells = 24;
constexpr int kDefaultWidth = 80;

int terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultWidth;
}

QString percentText(double fraction) {
    const int percent = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 100));
    return QStringLiteral("%1%").arg(percent, 3);
}

/// The text cut to `length` user-perceived characters, ending in "…" when cut.
QString fitted(const QString& text, qsizetype length) {
    if (length <= 0) {
        return {};
    }
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    qsizetype characters = 0;
    qsizetype keptEnd = 0;  // where the first `length - 1` characters end
    while (boundaries.toNextBoundary() != -1) {
        if (++characters == length - 1) {
            keptEnd = boundaries.position();
        }
    }
    return characters <= length ? text : text.left(keptEnd) + QStringLiteral("…");
}

void writeError(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace

ProgressDisplay::Mode ProgressDisplay::modeForStandardError(Mode otherwise) {
    return ::isatty(STDERR_FILENO) ? Mode::bar : otherwise;
}

QString ProgressDisplay::barLine(double fraction, const QString& step, const QString& estimate,
                                 int width) {
    const int filled = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kBarCells));
    QString line = QStringLiteral("[") + QString(filled, u'#') + QString(kBarCells - filled, u'.') +
                   QStringLiteral("] ") + percentText(fraction) + u' ';
    const QString tail = estimate.isEmpty() ? QString() : QStringLiteral("  ") + estimate;
    // The step gives way first, so the percentage and the time left stay in view.
    line += fitted(escapeControlCharacters(step), width - 1 - line.size() - tail.size()) + tail;
    return fitted(line, width - 1);
}

QString ProgressDisplay::plainLine(double fraction, const QString& step, const QString& estimate) {
    QString line =
        u'[' + percentText(fraction) + QStringLiteral("] ") + escapeControlCharacters(step);
    if (!estimate.isEmpty()) {
        line += QStringLiteral(" (") + estimate + u')';
    }
    return line;
}

void ProgressDisplay::show(double fraction, const QString& step, const QString& estimate) {
    switch (mode_) {
        case Mode::quiet:
            return;
        case Mode::lines:
            if (step != lastStep_) {
                lastStep_ = step;
                writeError(plainLine(fraction, step, estimate) + u'\n');
            }
            return;
        case Mode::bar:
            writeError(u'\r' + barLine(fraction, step, estimate, terminalWidth()) +
                       QStringLiteral("\x1b[K"));
            barIsShown_ = true;
            return;
    }
}

void ProgressDisplay::finish() {
    if (barIsShown_) {
        writeError(QStringLiteral("\r\x1b[K"));
        barIsShown_ = false;
    }
    lastStep_.clear();
}

}  // namespace keelwick::cli
