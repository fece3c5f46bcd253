#pragma once

#include <QString>

namespace keelwick::cli {

/// Progress of a long command on standard error: on a terminal one line redrawn in place (a
/// bar, the percentage, the current step and the remaining time); elsewhere, such as a log
/// file, one plain line whenever the step changes.
class ProgressDisplay {
  public:
    enum class Mode { bar, lines, quiet };

    explicit ProgressDisplay(Mode mode) : mode_(mode) {}
    /// A bar when standard error is a terminal, otherwise `otherwise`.
    static Mode modeForStandardError(Mode otherwise = Mode::lines);

    /// Shows `fraction` (0 to 1) done, the current step and the remaining-time text (empty
    /// when there is none).
    void show(double fraction, const QString& step, const QString& estimate);
    /// Ends the display: the bar's line is cleared so that what follows starts clean.
    void finish();

    /// The bar's line for a terminal `width` columns wide, without control characters: those
    /// in the step (which names drawings) are shown escaped.
    static QString barLine(double fraction, const QString& step, const QString& estimate,
                           int width);
    /// The plain line of one step, its control characters shown escaped.
    static QString plainLine(double fraction, const QString& step, const QString& estimate);

  private:
    Mode mode_;
    QString lastStep_;
    bool barIsShown_ = false;
};

}  // namespace keelwick::cli
