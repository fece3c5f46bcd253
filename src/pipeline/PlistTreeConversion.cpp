// From libplist's tree to ours, and the dictionary builder every form shares.
//
// libplist 2.2 frees its trees recursively, so a tree deeper than the limit where no cut
// was made is freed here without recursion.

#include "pipeline/PropertyListForms.h"
#include "pipeline/PropertyListReader.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace keelwick::detail {

void DictionaryBuilder::insert(QString key, PropertyListValue value) {
    if (index_.isEmpty()) {
        for (auto& [name, existing] : entries_) {
            if (name == key) {
                existing = std::move(value);
                return;
            }
        }
        entries_.emplace_back(std::move(key), std::move(value));
        if (entries_.size() > kScanLimit) {
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                index_.insert(entries_[i].first, i);
            }
        }
        return;
    }
    if (auto found = index_.constFind(key); found != index_.constEnd()) {
        entries_[*found].second = std::move(value);
        return;
    }
    index_.insert(key, entries_.size());
    entries_.emplace_back(std::move(key), std::move(value));
}

PropertyListValue DictionaryBuilder::build() {
    index_.clear();
    return PropertyListValue::dictionary(std::move(entries_));
}

// It always removes a leaf, walking down to one and back up through the parents.
void freePlistWithoutRecursion(void* root) {
    plist_t node = root;
    while (node) {
        if (plist_get_node_type(node) == PLIST_ARRAY && plist_array_get_size(node) > 0) {
            node = plist_array_get_item(node, plist_array_get_size(node) - 1);
            continue;
        }
        if (plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) > 0) {
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            plist_t child = nullptr;
            plist_dict_next_item(node, iterator, nullptr, &child);
            std::free(iterator);
            if (child) {
                node = child;
                continue;
            }
        }
        plist_t parent = plist_get_parent(node);
        if (!parent) {
            plist_free(node);
            return;
        }
        if (plist_get_node_type(parent) == PLIST_ARRAY) {
            plist_array_remove_item(parent, plist_array_get_size(parent) - 1);
        } else {
            char* key = nullptr;
            plist_dict_get_item_key(node, &key);
            plist_dict_remove_item(parent, key);
            std::free(key);
        }
        node = parent;
    }
}

namespace {

/// Converts a libplist tree, level by level up to the depth limit.
class PlistConverter {
  public:
    /// `cutMarker`: the string that stands for a container cut out of the XML text, if any.
    explicit PlistConverter(std::string cutMarker) : cutMarker_(std::move(cutMarker)) {}

    PropertyListValue convert(plist_t node, std::size_t level);

    /// True when libplist's tree went below the limit where no cut was made: then it may be
    /// deeper than `plist_free` survives.
    bool sawUncutDepth() const { return sawUncutDepth_; }

  private:
    PropertyListValue convertString(plist_t node, std::size_t level);
    PropertyListValue convertDictionary(plist_t node, std::size_t level);
    PropertyListValue convertArray(plist_t node, std::size_t level);

    std::string cutMarker_;
    bool sawUncutDepth_ = false;
};

PropertyListValue PlistConverter::convert(plist_t node, std::size_t level) {
    switch (plist_get_node_type(node)) {
        case PLIST_DICT:
        case PLIST_ARRAY:
            if (level > kDepthLimit) {
                sawUncutDepth_ = true;
                return PropertyListValue::truncated();
            }
            return plist_get_node_type(node) == PLIST_DICT ? convertDictionary(node, level)
                                                           : convertArray(node, level);
        case PLIST_STRING:
            return convertString(node, level);
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            // libplist 2.2 keeps negative integers as their two's complement.
            return PropertyListValue::integer(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return PropertyListValue::real(value);
        }
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return PropertyListValue::boolean(value != 0);
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            // libplist keeps the sign on the seconds only.
            const double fraction = microseconds / 1e6;
            return PropertyListValue::date({seconds < 0 ? seconds - fraction : seconds + fraction});
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return PropertyListValue::data(bytes ? QByteArray(bytes, qsizetype(length))
                                                 : QByteArray());
        }
        default:
            // UIDs and anything else libplist may add: no counterpart in drawings.
            return PropertyListValue();
    }
}

PropertyListValue PlistConverter::convertString(plist_t node, std::size_t level) {
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text) {
        return PropertyListValue::string(QString());
    }
    if (level == kDepthLimit + 1 && !cutMarker_.empty() &&
        std::string_view(text, length) == cutMarker_) {
        return PropertyListValue::truncated();
    }
    return PropertyListValue::string(decodeUtf8(text, length));
}

PropertyListValue PlistConverter::convertDictionary(plist_t node, std::size_t level) {
    DictionaryBuilder entries;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        QString name = key ? QString::fromUtf8(key) : QString();
        std::free(key);
        entries.insert(std::move(name), convert(value, level + 1));
    }
    std::free(iterator);
    return entries.build();
}

PropertyListValue PlistConverter::convertArray(plist_t node, std::size_t level) {
    const std::uint32_t size = plist_array_get_size(node);
    PropertyListArray elements;
    elements.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        elements.push_back(convert(plist_array_get_item(node, i), level + 1));
    }
    return PropertyListValue::array(std::move(elements));
}

}  // namespace

std::optional<PropertyListValue> convertPlist(void* root, std::string cutMarker) {
    if (!root) {
        return std::nullopt;
    }
    PlistConverter converter(std::move(cutMarker));
    PropertyListValue value = converter.convert(root, 1);
    if (converter.sawUncutDepth()) {
        freePlistWithoutRecursion(root);
    } else {
        plist_free(root);
    }
    return value;
}

}  // namespace keelwick::detail
