#include "pipeline/WebEngineError.h"

namespace keelwick::WebEngineError {
namespace {

PipelineError make(Code code, QString description) {
    PipelineError error;
    error.typeName = typeName();
    error.domain = domain();
    error.code = static_cast<qint64>(code);
    error.description = std::move(description);
    return error;
}

}  // namespace

QString typeName() {
    return QStringLiteral("WebEngineError");
}

QString domain() {
    return QStringLiteral("Keelwick.WebEngine");
}

PipelineError browserNotInstalled(const QString& searched) {
    PipelineError error = make(Code::browserNotInstalled,
                               QStringLiteral("The PNG preview needs the Chromium web browser, "
                                              "which is not installed. Install it with: "
                                              "sudo apt-get install chromium"));
    error.failureReason = QStringLiteral("No Chromium program was found at ") + searched + u'.';
    return error;
}

PipelineError browserNotStarted(const QString& reason) {
    return make(Code::browserNotStarted,
                QStringLiteral("The Chromium web browser could not be started to render the "
                               "PNG preview: ") +
                    reason);
}

PipelineError browserStopped() {
    return make(Code::browserStopped,
                QStringLiteral("The Chromium web browser stopped while it rendered the PNG "
                               "preview."));
}

PipelineError pageLoadFailed(const QString& engineText) {
    return make(Code::pageLoadFailed,
                QStringLiteral("The PNG preview page could not be loaded: ") + engineText);
}

PipelineError requestFailed(const QString& step, qint64 engineCode, const QString& engineMessage) {
    PipelineError error =
        make(Code::requestFailed, QStringLiteral("The Chromium web browser could not ") + step +
                                      QStringLiteral(" for the PNG preview: ") + engineMessage);
    error.underlyingError =
        UnderlyingError{QStringLiteral("Chromium.DevTools"), engineCode, engineMessage};
    return error;
}

PipelineError unreadableReply(const QString& detail) {
    return make(
        Code::unreadableReply,
        QStringLiteral("The Chromium web browser sent a reply that could not be read: ") + detail);
}

}  // namespace keelwick::WebEngineError
