#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace keelwick::cli {

/// Ctrl-C as an event of the main thread. The first interrupt is delivered as `interrupted()`
/// so that a run can stop after its current drawing and still clean up; a second one ends
/// the program at once, as Ctrl-C normally does. Child processes run in process groups of
/// their own, so the terminal's interrupt reaches only this program.
class InterruptSignal : public QObject {
    Q_OBJECT
  public:
    /// Installs the handler of SIGINT for the life of this object.
    InterruptSignal();
    ~InterruptSignal() override;

    /// True once an interrupt arrived, also while the main thread was busy.
    bool wasInterrupted() const;

  signals:
    void interrupted();

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace keelwick::cli
