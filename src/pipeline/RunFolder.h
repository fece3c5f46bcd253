#pragma once

#include <QString>

#include <system_error>

namespace keelwick::RunFolder {

// The private folder of one program run, which holds every temporary thing of the run: the
// drawings' work folders, the zip tool's error logs, the analysis's temporary files and the
// browser's profile. It is made on first use in the temporary folder with a fresh name
// "Keelwick-" + six random characters and mode 0700 (`mkdtemp`), so that runs at the same time,
// and files of other users in a shared temporary folder, never meet; it is made anew if it has
// disappeared. It is removed, with everything in it, when the program exits, and can be removed
// from a signal handler when the program must end at once. Nothing outside it is ever removed.

/// The folder, made now when there is none; empty, with `error` set, when it cannot be made.
QString path(std::error_code* error = nullptr);

/// Where the folder would be made, for messages when it cannot be.
QString intendedPath();

/// A fresh name inside the folder: `prefix`, a new UUID and `suffix`. Empty when the folder
/// cannot be made: opening an empty path fails, so the caller's step fails as it does for any
/// file that cannot be written.
QString newPath(const QString& prefix, const QString& suffix = {});

/// Removes the folder and everything in it now; the next use makes a new one.
void remove();

/// Removes the folder as `remove` does, from a signal handler: only system calls that are safe
/// there, no allocation and no lock. The handler should end the program right after.
void removeFromSignalHandler() noexcept;

}  // namespace keelwick::RunFolder
