#include "workflow/BackgroundWork.h"

#include <algorithm>

namespace keelwick {

QThreadPool& drawingJobPool() {
    static QThreadPool* pool = [] {
        // Never destroyed: a job still running at exit must not be waited for by a static
        // destructor (a render can take ten seconds).
        auto* created = new QThreadPool;
        created->setMaxThreadCount(1);
        created->setExpiryTimeout(-1);
        return created;
    }();
    return *pool;
}

void setDrawingJobThreads(int threads) {
    drawingJobPool().setMaxThreadCount(std::max(1, threads));
}

}  // namespace keelwick
