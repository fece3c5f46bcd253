#pragma once

namespace keelwick {

/// Whether the desktop asks programs to keep motion to a minimum: GNOME's and the desktop
/// portal's "enable-animations" turned off, or KDE's animation speed set to instant. The
/// environment variable KEELWICK_REDUCED_MOTION, when set, decides instead ("0" for motion,
/// anything else for none), so tests and people can choose either way.
bool desktopAsksForReducedMotion();

}  // namespace keelwick
