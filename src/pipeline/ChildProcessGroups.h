#pragma once

#include <sys/types.h>

namespace keelwick::ChildProcessGroups {

// The process groups of the children that work in the run folder (the browser, the zip
// tool), each led by its child. They run in groups of their own so that the terminal's
// Ctrl-C reaches only this program; a program that must end at once kills them itself, so
// that none writes on into a folder that is being removed.

/// Adds the group led by `leader`, from when the child runs until it has ended. Without a
/// free place (more children than ever run at once) the group is not added.
void add(pid_t leader) noexcept;
void remove(pid_t leader) noexcept;

/// Kills every group added and not removed, from a signal handler: no lock, no allocation.
void killAllFromSignalHandler() noexcept;

}  // namespace keelwick::ChildProcessGroups
