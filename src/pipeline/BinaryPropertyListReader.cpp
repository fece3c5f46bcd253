// The binary form: a complete check of the object graph before libplist sees it, and our
// own decoder for documents deeper than the limit or with keys libplist cannot take.

#include "pipeline/PropertyListForms.h"
#include "pipeline/PropertyListReader.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace keelwick::detail {

namespace {

std::uint64_t readBigEndian(const unsigned char* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

/// The checked layout of a "bplist00" document: its trailer, and its objects, each
/// checked when asked for, so that no offset, length or reference points outside the data.
class BinaryLayout {
  public:
    enum class Kind {
        boolean,
        integer,
        real,
        date,
        data,
        asciiString,
        utf16String,
        uid,
        array,
        dictionary
    };
    struct Object {
        Kind kind = Kind::boolean;
        bool truth = false;       // the value of a boolean
        std::uint64_t start = 0;  // first byte of the payload
        std::uint64_t count = 0;  // payload bytes, UTF-16 units, or container entries
    };

    static std::optional<BinaryLayout> open(std::string_view bytes);

    std::uint64_t topObject() const { return topObject_; }
    std::uint64_t objectCount() const { return objectCount_; }
    std::optional<Object> object(std::uint64_t index) const;
    /// The object references of a container: a dictionary's keys first, then its values.
    std::uint64_t referenceCount(const Object& object) const;
    std::optional<std::uint64_t> reference(const Object& container, std::uint64_t i) const;

    std::int64_t integer(const Object& object) const;
    double real(const Object& object) const;
    QByteArray data(const Object& object) const;
    QString string(const Object& object) const;
    /// True when a string holds a NUL character.
    bool holdsNul(const Object& string) const;

  private:
    explicit BinaryLayout(std::string_view bytes) : bytes_(bytes) {}
    const unsigned char* at(std::uint64_t offset) const {
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
    }
    bool readLength(std::uint64_t& position, std::uint8_t info, std::uint64_t& count) const;

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t offsetTable_ = 0;
};

bool isContainer(BinaryLayout::Kind kind) {
    return kind == BinaryLayout::Kind::array || kind == BinaryLayout::Kind::dictionary;
}

bool isString(BinaryLayout::Kind kind) {
    return kind == BinaryLayout::Kind::asciiString || kind == BinaryLayout::Kind::utf16String;
}

std::optional<BinaryLayout> BinaryLayout::open(std::string_view bytes) {
    constexpr std::size_t kHeaderSize = 8;
    constexpr std::size_t kTrailerSize = 32;
    if (bytes.size() < kHeaderSize + kTrailerSize + 2) {
        return std::nullopt;
    }
    BinaryLayout layout(bytes);
    const unsigned char* trailer = layout.at(bytes.size() - kTrailerSize);
    layout.offsetSize_ = trailer[6];
    layout.referenceSize_ = trailer[7];
    layout.objectCount_ = readBigEndian(trailer + 8, 8);
    layout.topObject_ = readBigEndian(trailer + 16, 8);
    layout.offsetTable_ = readBigEndian(trailer + 24, 8);
    const std::uint64_t tableEnd = bytes.size() - kTrailerSize;
    const bool valid = layout.offsetSize_ >= 1 && layout.offsetSize_ <= 8 &&
                       layout.referenceSize_ >= 1 && layout.referenceSize_ <= 8 &&
                       layout.objectCount_ >= 1 && layout.topObject_ < layout.objectCount_ &&
                       layout.offsetTable_ > kHeaderSize && layout.offsetTable_ < tableEnd &&
                       layout.objectCount_ <= (tableEnd - layout.offsetTable_) / layout.offsetSize_;
    if (!valid) {
        return std::nullopt;
    }
    return layout;
}

// A length in the marker's low nibble, or, when that is 0xF, in the integer that follows.
bool BinaryLayout::readLength(std::uint64_t& position, std::uint8_t info,
                              std::uint64_t& count) const {
    if (info != 0xF) {
        count = info;
        return true;
    }
    if (position >= offsetTable_) {
        return false;
    }
    const std::uint8_t marker = *at(position);
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3) {
        return false;
    }
    const std::size_t size = std::size_t(1) << (marker & 0xF);
    if (offsetTable_ - position - 1 < size) {
        return false;
    }
    count = readBigEndian(at(position + 1), size);
    position += 1 + size;
    return true;
}

std::optional<BinaryLayout::Object> BinaryLayout::object(std::uint64_t index) const {
    if (index >= objectCount_) {
        return std::nullopt;
    }
    const std::uint64_t offset = readBigEndian(at(offsetTable_ + index * offsetSize_), offsetSize_);
    if (offset < 8 || offset >= offsetTable_) {
        return std::nullopt;
    }
    const std::uint8_t marker = *at(offset);
    const std::uint8_t info = marker & 0xF;
    Object object;
    std::uint64_t position = offset + 1;
    std::uint64_t unitSize = 1;
    switch (marker >> 4) {
        case 0x0:
            // Only the booleans: libplist 2.2 refuses the null and fill markers.
            if (info != 0x8 && info != 0x9) {
                return std::nullopt;
            }
            object.kind = Kind::boolean;
            object.truth = info == 0x9;
            break;
        case 0x1:
            if (info > 4) {
                return std::nullopt;
            }
            object.kind = Kind::integer;
            object.count = std::uint64_t(1) << info;
            break;
        case 0x2:
            if (info != 2 && info != 3) {
                return std::nullopt;
            }
            object.kind = Kind::real;
            object.count = std::uint64_t(1) << info;
            break;
        case 0x3:
            if (info != 3) {
                return std::nullopt;
            }
            object.kind = Kind::date;
            object.count = 8;
            break;
        case 0x4:
        case 0x5:
        case 0x6: {
            static constexpr Kind kKinds[] = {Kind::data, Kind::asciiString, Kind::utf16String};
            object.kind = kKinds[(marker >> 4) - 0x4];
            unitSize = object.kind == Kind::utf16String ? 2 : 1;
            if (!readLength(position, info, object.count)) {
                return std::nullopt;
            }
            break;
        }
        case 0x8:
            object.kind = Kind::uid;
            object.count = info + 1;
            break;
        case 0xA:
        case 0xD:
            object.kind = marker >> 4 == 0xA ? Kind::array : Kind::dictionary;
            unitSize = referenceSize_ * (object.kind == Kind::dictionary ? 2 : 1);
            if (!readLength(position, info, object.count)) {
                return std::nullopt;
            }
            break;
        default:
            // Sets, the newer UTF-8 strings and unknown markers: libplist 2.2 reads none.
            return std::nullopt;
    }
    if (object.count > (offsetTable_ - position) / unitSize) {
        return std::nullopt;
    }
    object.start = position;
    return object;
}

std::uint64_t BinaryLayout::referenceCount(const Object& object) const {
    switch (object.kind) {
        case Kind::array:
            return object.count;
        case Kind::dictionary:
            return object.count * 2;
        default:
            return 0;
    }
}

std::optional<std::uint64_t> BinaryLayout::reference(const Object& container,
                                                     std::uint64_t i) const {
    const std::uint64_t index =
        readBigEndian(at(container.start + i * referenceSize_), referenceSize_);
    if (index >= objectCount_) {
        return std::nullopt;
    }
    return index;
}

std::int64_t BinaryLayout::integer(const Object& object) const {
    // One, two and four bytes are unsigned, eight are signed; of sixteen, the low eight.
    const std::size_t size = std::min<std::uint64_t>(object.count, 8);
    return static_cast<std::int64_t>(readBigEndian(at(object.start + object.count - size), size));
}

double BinaryLayout::real(const Object& object) const {
    const std::uint64_t bits = readBigEndian(at(object.start), object.count);
    if (object.count == 4) {
        float value = 0;
        const auto narrow = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &narrow, sizeof value);
        return value;
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray BinaryLayout::data(const Object& object) const {
    return QByteArray(reinterpret_cast<const char*>(at(object.start)), qsizetype(object.count));
}

// Like libplist, which keeps strings as C strings: a string ends at its first NUL.
QString BinaryLayout::string(const Object& object) const {
    if (object.kind == Kind::asciiString) {
        const std::string_view bytes(reinterpret_cast<const char*>(at(object.start)), object.count);
        return decodeUtf8(bytes.data(), std::min(bytes.size(), bytes.find('\0')));
    }
    QString text;
    text.reserve(qsizetype(object.count));
    for (std::uint64_t i = 0; i < object.count; ++i) {
        const auto unit = char16_t(readBigEndian(at(object.start + 2 * i), 2));
        if (unit == 0) {
            break;
        }
        text.append(QChar(unit));
    }
    return text;
}

bool BinaryLayout::holdsNul(const Object& string) const {
    const std::uint64_t size = string.count * (string.kind == Kind::utf16String ? 2 : 1);
    const unsigned char* bytes = at(string.start);
    for (std::uint64_t i = 0; i < size; ++i) {
        // A UTF-16 NUL is two zero bytes at an even offset.
        if (bytes[i] == 0 &&
            (string.kind != Kind::utf16String || (i % 2 == 0 && bytes[i + 1] == 0))) {
            return true;
        }
    }
    return false;
}

/// What the check of a binary object graph found out.
struct BinaryGraphFacts {
    std::size_t containerLevels = 0;  // of the deepest chain of containers, saturating
    std::uint64_t values = 0;         // in the tree with shared parts written out, saturating
    std::uint64_t references = 0;
    bool keyHoldsNul = false;  // libplist 2.2 aborts on such a key (an assertion)
};

/// Walks every object reachable from the top, once each and without recursion: every
/// object must be well formed, every dictionary key a string, and no container may hold
/// itself. Returns nothing when the graph is broken.
std::optional<BinaryGraphFacts> checkBinaryGraph(const BinaryLayout& layout) {
    enum : std::uint8_t { unvisited, open, done };
    constexpr std::uint32_t kSaturated = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint8_t> state(layout.objectCount(), unvisited);
    std::vector<std::uint16_t> levels(layout.objectCount(), 0);
    std::vector<std::uint32_t> values(layout.objectCount(), 0);
    struct Visit {
        std::uint64_t index;
        BinaryLayout::Object object;
        std::uint64_t nextReference = 0;
        std::uint16_t deepestChild = 0;
        std::uint64_t values = 1;
    };
    std::vector<Visit> stack;
    BinaryGraphFacts facts;

    auto enter = [&](std::uint64_t index) {
        const std::optional<BinaryLayout::Object> object = layout.object(index);
        if (object) {
            state[index] = open;
            stack.push_back({index, *object});
        }
        return object.has_value();
    };
    auto absorb = [&](Visit& parent, std::uint64_t child) {
        parent.deepestChild = std::max(parent.deepestChild, levels[child]);
        parent.values = std::min<std::uint64_t>(parent.values + values[child], kSaturated);
    };

    if (!enter(layout.topObject())) {
        return std::nullopt;
    }
    while (!stack.empty()) {
        Visit& visit = stack.back();
        const std::uint64_t count = layout.referenceCount(visit.object);
        if (visit.nextReference < count) {
            const std::uint64_t i = visit.nextReference++;
            const std::optional<std::uint64_t> child = layout.reference(visit.object, i);
            if (!child || state[*child] == open) {
                return std::nullopt;  // out of range, or a cycle
            }
            ++facts.references;
            if (visit.object.kind == BinaryLayout::Kind::dictionary && i < count / 2) {
                const std::optional<BinaryLayout::Object> key = layout.object(*child);
                if (!key || !isString(key->kind)) {
                    return std::nullopt;
                }
                facts.keyHoldsNul = facts.keyHoldsNul || layout.holdsNul(*key);
            }
            if (state[*child] == unvisited) {
                if (!enter(*child)) {
                    return std::nullopt;
                }
            } else {
                absorb(visit, *child);
            }
            continue;
        }
        const std::uint64_t index = visit.index;
        levels[index] = isContainer(visit.object.kind)
                            ? std::uint16_t(std::min<int>(visit.deepestChild + 1, 0xFFFF))
                            : 0;
        values[index] = std::uint32_t(visit.values);
        state[index] = done;
        stack.pop_back();
        if (!stack.empty()) {
            absorb(stack.back(), index);
        }
    }
    facts.containerLevels = levels[layout.topObject()];
    facts.values = values[layout.topObject()];
    return facts;
}

/// Builds the tree of a checked binary document directly, down to the depth limit.
class BinaryDecoder {
  public:
    explicit BinaryDecoder(const BinaryLayout& layout) : layout_(layout) {}
    PropertyListValue decode(std::uint64_t index, std::size_t level) const;

  private:
    const BinaryLayout& layout_;
};

PropertyListValue BinaryDecoder::decode(std::uint64_t index, std::size_t level) const {
    using Kind = BinaryLayout::Kind;
    const std::optional<BinaryLayout::Object> object = layout_.object(index);
    if (!object) {
        return PropertyListValue();  // cannot happen after the check
    }
    if (isContainer(object->kind) && level > kDepthLimit) {
        return PropertyListValue::truncated();
    }
    switch (object->kind) {
        case Kind::boolean:
            return PropertyListValue::boolean(object->truth);
        case Kind::integer:
            return PropertyListValue::integer(layout_.integer(*object));
        case Kind::real:
            return PropertyListValue::real(layout_.real(*object));
        case Kind::date:
            return PropertyListValue::date({layout_.real(*object)});
        case Kind::data:
            return PropertyListValue::data(layout_.data(*object));
        case Kind::asciiString:
        case Kind::utf16String:
            return PropertyListValue::string(layout_.string(*object));
        case Kind::array: {
            PropertyListArray elements;
            elements.reserve(object->count);
            for (std::uint64_t i = 0; i < object->count; ++i) {
                elements.push_back(decode(*layout_.reference(*object, i), level + 1));
            }
            return PropertyListValue::array(std::move(elements));
        }
        case Kind::dictionary: {
            DictionaryBuilder entries;
            for (std::uint64_t i = 0; i < object->count; ++i) {
                const auto key = layout_.object(*layout_.reference(*object, i));
                const std::uint64_t valueIndex = *layout_.reference(*object, object->count + i);
                entries.insert(layout_.string(*key), decode(valueIndex, level + 1));
            }
            return entries.build();
        }
        case Kind::uid:
            break;
    }
    return PropertyListValue();
}

/// A binary document may refer to one container from several places. The tree writes such
/// parts out in full (libplist does so as well), so a crafted file could describe an
/// exponential number of values in a few bytes. Such a tree may hold at most this many
/// values, or as many as the document has references, whichever is more; without shared
/// containers a tree never holds more values than references plus one.
constexpr std::uint64_t kSharedValueAllowance = std::uint64_t(1) << 22;

}  // namespace

std::optional<PropertyListValue> readBinaryPropertyList(std::string_view bytes) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    const std::optional<BinaryLayout> layout = BinaryLayout::open(bytes);
    if (!layout) {
        return std::nullopt;
    }
    const std::optional<BinaryGraphFacts> facts = checkBinaryGraph(*layout);
    if (!facts || facts->values > std::max(facts->references + 1, kSharedValueAllowance)) {
        return std::nullopt;
    }
    // Our decoder takes what libplist cannot read safely: documents deeper than the limit,
    // and keys holding a NUL character, on which libplist 2.2 fails an assertion.
    if (facts->containerLevels > kDepthLimit || facts->keyHoldsNul) {
        return BinaryDecoder(*layout).decode(layout->topObject(), 1);
    }
    plist_t root = nullptr;
    plist_from_bin(bytes.data(), std::uint32_t(bytes.size()), &root);
    return convertPlist(root, std::string());
}

}  // namespace keelwick::detail
