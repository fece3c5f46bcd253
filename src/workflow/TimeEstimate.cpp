#include "workflow/TimeEstimate.h"

#include <cmath>

namespace keelwick {

std::optional<QString> estimatedTimeRemaining(std::chrono::steady_clock::time_point since,
                                              qint64 completed, qint64 total,
                                              std::chrono::steady_clock::time_point now) {
    if (completed < 1 || total <= completed) {
        return std::nullopt;
    }
    const double elapsed = std::chrono::duration<double>(now - since).count();
    if (!(elapsed > 0.4)) {
        return std::nullopt;
    }
    const double remaining = elapsed / double(completed) * double(total - completed);
    if (remaining < 10) {
        return QStringLiteral("a few seconds left");
    }
    // std::round rounds halves away from zero, as the texts require.
    if (remaining < 60) {
        const qint64 seconds = qint64(std::round(remaining / 5)) * 5;
        return QStringLiteral("about %1 seconds left").arg(seconds);
    }
    const qint64 minutes = qint64(std::round(remaining / 60));
    if (minutes < 2) {
        return QStringLiteral("about a minute left");
    }
    return QStringLiteral("about %1 minutes left").arg(minutes);
}

}  // namespace keelwick
