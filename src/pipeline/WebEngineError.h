#pragma once

#include "pipeline/PipelineError.h"

#include <QString>

namespace keelwick {

/// The failures of the web engine that renders PNG previews (headless Chromium), as the
/// pipeline records them: type "WebEngineError", domain "Keelwick.WebEngine", one code per
/// situation and a description naming what the engine said. A render that runs out of time
/// is not one of these: it fails with `RescueError::previewImageRenderingFailed()`.
namespace WebEngineError {

enum class Code {
    /// No Chromium program was found.
    browserNotInstalled = 1,
    /// The program was found but did not start or did not answer.
    browserNotStarted = 2,
    /// The browser ended while a render was talking to it.
    browserStopped = 3,
    /// The preview page itself could not be loaded.
    pageLoadFailed = 4,
    /// The browser answered a request with an error.
    requestFailed = 5,
    /// The browser sent something that is not a readable reply.
    unreadableReply = 6,
};

QString typeName();
QString domain();

/// `searched`: the places looked at, for the failure reason.
PipelineError browserNotInstalled(const QString& searched);
/// `reason`: why it did not start, such as the system's message or the browser's last words.
PipelineError browserNotStarted(const QString& reason);
PipelineError browserStopped();
/// `engineText`: the browser's error text, such as "net::ERR_FILE_NOT_FOUND".
PipelineError pageLoadFailed(const QString& engineText);
/// `step`: what the request was for, in words ("take the snapshot"); the browser's own
/// error code and message become the underlying error.
PipelineError requestFailed(const QString& step, qint64 engineCode, const QString& engineMessage);
PipelineError unreadableReply(const QString& detail);

}  // namespace WebEngineError

}  // namespace keelwick
