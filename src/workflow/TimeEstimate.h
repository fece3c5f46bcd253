#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace keelwick {

/// The remaining-time text shown under the progress of the analysis and of a run:
/// "a few seconds left", "about 45 seconds left" (multiples of five), "about a minute
/// left" or "about 2 minutes left". Absent before the first item is done, once nothing is
/// left, and in the first 0.4 seconds, when the pace says nothing yet. `now` is a
/// parameter so that tests can control the clock.
std::optional<QString> estimatedTimeRemaining(
    std::chrono::steady_clock::time_point since, qint64 completed, qint64 total,
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

}  // namespace keelwick
