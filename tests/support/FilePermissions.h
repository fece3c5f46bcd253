#pragma once

#include <functional>
#include <thread>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace keelwick::testing {

/// Runs `work` on a thread of its own that file permissions apply to even when the tests run
/// as the superuser (as in CI): the thread gives up the capabilities that let it read, write
/// and search every file. Capabilities belong to a thread, so the rest of the test program
/// keeps them. False, without running `work`, when they cannot be given up.
inline bool runWithFilePermissions(const std::function<void()>& work) {
    bool ran = false;
    std::thread thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct capabilities[_LINUX_CAPABILITY_U32S_3]{};
        if (::syscall(SYS_capget, &header, capabilities) != 0) {
            return;
        }
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
            // access() takes the permitted set for the superuser, so both go.
            capabilities[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
            capabilities[CAP_TO_INDEX(capability)].permitted &= ~CAP_TO_MASK(capability);
        }
        if (::syscall(SYS_capset, &header, capabilities) != 0) {
            return;
        }
        ran = true;
        work();
    });
    thread.join();
    return ran;
}

}  // namespace keelwick::testing
