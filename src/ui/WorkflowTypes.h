#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqml.h>

namespace keelwick {

/// The window's model, known to the views by its type; the workflow itself knows nothing of
/// QML.
struct RescueViewModelForeign {
    Q_GADGET
    QML_FOREIGN(keelwick::RescueViewModel)
    QML_NAMED_ELEMENT(RescueViewModel)
    QML_UNCREATABLE("The window's model is made by the program.")
};

}  // namespace keelwick
