#include "pipeline/BackgroundPriority.h"

#include <algorithm>
#include <atomic>

#include <sys/resource.h>
#include <unistd.h>

namespace keelwick::BackgroundPriority {

namespace {

std::atomic<int> backgroundNiceness{0};

}  // namespace

void setNiceness(int niceness) {
    backgroundNiceness = std::clamp(niceness, 0, 19);
}

void applyToThisThread() {
    const int niceness = backgroundNiceness.load();
    // A thread's niceness only ever rises here: lowering it again needs privileges.
    if (niceness > 0 && ::getpriority(PRIO_PROCESS, ::gettid()) < niceness) {
        ::setpriority(PRIO_PROCESS, ::gettid(), niceness);
    }
}

void applyToProcessGroup(pid_t group) {
    const int niceness = backgroundNiceness.load();
    if (niceness > 0 && group > 0) {
        ::setpriority(PRIO_PGRP, group, niceness);
    }
}

}  // namespace keelwick::BackgroundPriority
