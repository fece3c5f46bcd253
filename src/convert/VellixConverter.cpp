#include "convert/VellixConverter.h"

#include "convert/internal/SvgDocumentBuilder.h"

namespace keelwick {

VellixConverter::VellixConverter(const TextMeasurer& measurer) : measurer_(measurer) {}

QString VellixConverter::buildSVG(const PropertyListDictionary& document,
                                  SVGContext& context) const {
    return SvgDocumentBuilder(measurer_).buildSVG(document, context);
}

}  // namespace keelwick
