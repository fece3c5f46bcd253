#include "pipeline/PropertyListReader.h"

namespace keelwick {

QString formatName(PropertyListFormat format) {
    switch (format) {
        case PropertyListFormat::binary:
            return QStringLiteral("binary");
        case PropertyListFormat::openStep:
            return QStringLiteral("openStep");
        case PropertyListFormat::xml:
            break;
    }
    return QStringLiteral("xml");
}

}  // namespace keelwick
