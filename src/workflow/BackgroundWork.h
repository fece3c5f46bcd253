#pragma once

#include "pipeline/BackgroundPriority.h"

#include <QFuture>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace keelwick {

/// The handle of one piece of the model's background work (the scan and analysis of a
/// selection, or a run). The work itself lives on the main thread as a chain of steps; the
/// handle only carries the stop request, which the work tests before each drawing.
class BackgroundWork {
  public:
    void cancel() { isCancelled_ = true; }
    bool isCancelled() const { return isCancelled_; }

  private:
    bool isCancelled_ = false;
};

/// The pool that runs the per-drawing jobs: one thread, so that jobs run strictly one
/// after another even when an earlier piece of work is still finishing its last job. A run
/// that converts several drawings at once widens it for its duration.
QThreadPool& drawingJobPool();

/// Lets the drawing-job pool run `threads` jobs at once (at least 1).
void setDrawingJobThreads(int threads);

/// Runs `job` on the drawing-job thread and hands its result to `continuation` on the thread
/// of `context` (the main thread for the model). When `context` is gone by then, the result
/// is dropped: work that outlives its model changes nothing.
template <typename Job, typename Continuation>
void runDetached(QObject* context, Job&& job, Continuation&& continuation) {
    QtConcurrent::run(&drawingJobPool(), [job = std::forward<Job>(job)]() mutable {
        BackgroundPriority::applyToThisThread();
        return job();
    }).then(context, std::forward<Continuation>(continuation));
}

}  // namespace keelwick
