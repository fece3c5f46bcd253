#pragma once

#include <sys/types.h>

namespace keelwick::BackgroundPriority {

// How far below the program's own priority its background work runs: the threads that
// convert and analyse drawings and the programs they start (the zip tool inherits it from
// them), and the browser that renders previews. The command line leaves it at 0: its work is
// all there is. The desktop program lowers it, so that the window keeps its share of the
// processor while a run keeps every core busy.

/// Sets the niceness (0 to 19) that background work takes from now on.
void setNiceness(int niceness);

/// Lowers the calling thread, one that runs background work, to the background niceness.
void applyToThisThread();

/// Lowers every process of a process group just started (the browser and its helpers; the
/// helpers it starts later inherit it).
void applyToProcessGroup(pid_t group);

}  // namespace keelwick::BackgroundPriority
