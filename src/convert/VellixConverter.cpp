#include "convert/VellixConverter.h"

namespace keelwick {

VellixConverter::VellixConverter(const TextMeasurer& measurer) : measurer_(measurer) {}

}  // namespace keelwick
