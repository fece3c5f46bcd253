#include "pipeline/ChildProcessGroups.h"

#include <array>
#include <atomic>
#include <csignal>

namespace keelwick::ChildProcessGroups {
namespace {

// More than the children that ever run at once: one browser (two while it is replaced) and
// one zip tool per drawing being analysed or unpacked.
std::array<std::atomic<pid_t>, 256> leaders{};

}  // namespace

void add(pid_t leader) noexcept {
    for (std::atomic<pid_t>& slot : leaders) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, leader)) {
            return;
        }
    }
}

void remove(pid_t leader) noexcept {
    for (std::atomic<pid_t>& slot : leaders) {
        pid_t expected = leader;
        if (slot.compare_exchange_strong(expected, 0)) {
            return;
        }
    }
}

void killAllFromSignalHandler() noexcept {
    for (std::atomic<pid_t>& slot : leaders) {
        if (const pid_t leader = slot.load(); leader > 0) {
            ::kill(-leader, SIGKILL);
        }
    }
}

}  // namespace keelwick::ChildProcessGroups
