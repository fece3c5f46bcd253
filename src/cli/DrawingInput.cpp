#include "cli/DrawingInput.h"

#include "cli/CommandLine.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/OpenedDrawing.h"

namespace keelwick::cli {

std::optional<QString> drawingSVG(const QString& input) {
    DiagnosticsLog ignored;
    Outcome<OpenedDrawing, StageError> opened = OpenedDrawing::open(input, ignored);
    if (const StageError* error = errorOf(opened)) {
        printError(error->error.description);
        return std::nullopt;
    }
    Outcome<QString> built = std::get<OpenedDrawing>(opened).buildSVG();
    if (const PipelineError* error = errorOf(built)) {
        printError(error->description);
        return std::nullopt;
    }
    return std::get<QString>(std::move(built));
}

}  // namespace keelwick::cli
