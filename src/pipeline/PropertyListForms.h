#pragma once

// The parts of the property-list reader, one per form, behind `readPropertyList`.

#include "convert/PropertyListValue.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace keelwick::detail {

/// Containers below this level become truncation markers, in every form.
constexpr std::size_t kDepthLimit = std::size_t(kMaxNestingDepth);

inline QString decodeUtf8(const char* text, std::size_t length) {
    return QString::fromUtf8(text, qsizetype(length));
}

/// Converts a libplist tree (a `plist_t`, freed here) into ours, down to the depth limit;
/// a string equal to `cutMarker` at the level below the limit becomes the truncation
/// marker. Nothing when libplist built no tree.
std::optional<PropertyListValue> convertPlist(void* root, std::string cutMarker);

/// The XML form, through libplist behind a depth guard; nothing when it is malformed.
std::optional<PropertyListValue> readXmlPropertyList(std::string_view xml);

/// The binary form, checked completely before libplist or our own decoder reads it;
/// nothing when it is malformed.
std::optional<PropertyListValue> readBinaryPropertyList(std::string_view bytes);

}  // namespace keelwick::detail
