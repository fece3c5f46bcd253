#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace keelwick {

/// Makes SIGINT, SIGTERM and SIGHUP end the program at once, as they normally do, but only
/// after killing the child processes (the browser, the zip tool) and removing the program
/// run's folder, so that nothing is left in the temporary folder. While an `InterruptSignal`
/// exists, the first of them goes to it instead. Safe to call more than once.
void cleanUpWhenEndedBySignal();

/// Ctrl-C, and the requests to stop of SIGTERM and SIGHUP, as an event of the main thread.
/// The first such signal is delivered as `interrupted()` so that a run can stop after the
/// drawings in progress and still clean up; a second one ends the program at once (see
/// `cleanUpWhenEndedBySignal`). Child processes run in process groups of their own, so the
/// terminal's interrupt reaches only this program.
class InterruptSignal : public QObject {
    Q_OBJECT
  public:
    /// Receives the signals for the life of this object.
    InterruptSignal();
    ~InterruptSignal() override;

    /// True once a signal arrived, also while the main thread was busy.
    bool wasInterrupted() const;

  signals:
    void interrupted();

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace keelwick
