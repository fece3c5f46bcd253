#include "pipeline/PropertyListReader.h"

#include "pipeline/OpenStepReader.h"
#include "pipeline/PropertyListForms.h"

#include <string_view>

// How the three forms are read, and why.
//
// XML and binary go through libplist 2.2; OpenStep through our own reader. libplist builds
// its own tree first, which is then converted into `PropertyListValue`. Two properties of
// libplist 2.2 shape the readers of the forms:
//
// - It frees its trees recursively, and its binary parser recurses once per level with a
//   cycle check that walks the current path, so that a deep binary chain is quadratic.
//   Measured on a thread with the default 8 MB stack: 200,000 nested XML arrays crash in
//   `plist_free`, and a binary chain of 100,000 arrays crashes while parsing (a chain of
//   10,000 already takes 0.13 s). So libplist must never see nesting beyond our limit.
// - Its binary parser writes out every reference in full, so a crafted file that refers to
//   one container twice at each of 40 levels describes 2^40 values.
//
// The guards: an XML document is pre-scanned with libplist's own tokenising rules, and
// every container that would stand below the depth limit is cut out of the text and
// replaced by a string holding a marker made for this one read, which the conversion turns
// into the truncation marker. A binary document's object graph is checked completely
// (offsets, lengths, references, cycles, depth and written-out size) before libplist sees
// it; a document within the depth limit goes to libplist, a deeper one is built directly
// from the checked graph by our own decoder, which stops at the limit.

namespace keelwick {

namespace {

PropertyListReadResult failure(PropertyListFormat format) {
    return {std::nullopt, format, notAPropertyListDescription()};
}

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// As the platform tells the forms apart: the binary magic, else XML when the text opens
// with markup, else OpenStep.
PropertyListFormat detectFormat(std::string_view bytes) {
    if (bytes.starts_with(kBinaryMagic)) {
        return PropertyListFormat::binary;
    }
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    const std::size_t first = bytes.find_first_not_of(" \t\r\n\f\v");
    return first != std::string_view::npos && bytes[first] == '<' ? PropertyListFormat::xml
                                                                  : PropertyListFormat::openStep;
}

}  // namespace

QString notAPropertyListDescription() {
    return QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
}

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

PropertyListReadResult readPropertyList(const QByteArray& bytes) {
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    const PropertyListFormat format = detectFormat(view);
    std::optional<PropertyListValue> value;
    try {
        switch (format) {
            case PropertyListFormat::binary:
                value = detail::readBinaryPropertyList(view);
                break;
            case PropertyListFormat::xml:
                // libplist does not skip a byte order mark.
                value = detail::readXmlPropertyList(
                    view.starts_with(kByteOrderMark) ? view.substr(kByteOrderMark.size()) : view);
                break;
            case PropertyListFormat::openStep:
                value = readOpenStepPropertyList(bytes);
                break;
        }
    } catch (const std::bad_alloc&) {
        value.reset();  // a document too large for memory is reported like a damaged one
    }
    if (!value) {
        return failure(format);
    }
    return {std::move(value), format, QString()};
}

}  // namespace keelwick
