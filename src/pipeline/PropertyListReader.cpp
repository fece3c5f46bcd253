#include "pipeline/PropertyListReader.h"

#include "pipeline/OpenStepReader.h"

#include <QUuid>

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// How the three forms are read, and why.
//
// XML and binary go through libplist 2.2; OpenStep through our own reader. libplist builds
// its own tree first, which is then converted into `PropertyListValue`. Two properties of
// libplist 2.2 shape this file:
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

namespace detail {

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

}  // namespace detail

namespace {

constexpr std::size_t kLimit = std::size_t(kMaxNestingDepth);

PropertyListReadResult failure(PropertyListFormat format) {
    return {std::nullopt, format, notAPropertyListDescription()};
}

QString decodeUtf8(const char* text, std::size_t length) {
    return QString::fromUtf8(text, qsizetype(length));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// From libplist's tree to ours.

// It always removes a leaf, walking down to one and back up through the parents.
void detail::freePlistWithoutRecursion(void* root) {
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
            if (level > kLimit) {
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
    if (level == kLimit + 1 && !cutMarker_.empty() &&
        std::string_view(text, length) == cutMarker_) {
        return PropertyListValue::truncated();
    }
    return PropertyListValue::string(decodeUtf8(text, length));
}

PropertyListValue PlistConverter::convertDictionary(plist_t node, std::size_t level) {
    detail::DictionaryBuilder entries;
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

std::optional<PropertyListValue> convertPlist(plist_t root, std::string cutMarker) {
    if (!root) {
        return std::nullopt;
    }
    PlistConverter converter(std::move(cutMarker));
    PropertyListValue value = converter.convert(root, 1);
    if (converter.sawUncutDepth()) {
        detail::freePlistWithoutRecursion(root);
    } else {
        plist_free(root);
    }
    return value;
}

// ---------------------------------------------------------------------------------------
// The XML depth guard.

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

/// Finds the containers of an XML property list that stand below the depth limit. It
/// reads the text by the rules of libplist 2.2's parser (tags, comments, processing
/// instructions, DOCTYPE, text content with comments and CDATA, double quotes inside
/// tags), so that both see the same structure. Where that parser would stop at an error,
/// the scan stops too and leaves the verdict to it; an error inside content that is cut out
/// (which libplist never sees) makes the scan report the document as malformed.
class XmlDepthScan {
  public:
    struct Cut {
        std::size_t begin;
        std::size_t end;
    };
    struct Result {
        std::vector<Cut> cuts;
        bool malformedInCut = false;
    };

    explicit XmlDepthScan(std::string_view xml) : xml_(xml) {}
    Result run();

  private:
    enum class Step { next, stop, error };
    Step element(std::size_t tagStart);
    bool skipDoctype();
    bool skipTextContent(std::string_view name, std::size_t rawLength);
    bool matchesEndTag(std::size_t at, std::string_view name, std::size_t rawLength) const;
    void skipSpace();
    std::size_t find(std::size_t from, std::string_view needle, bool skipQuotes) const;
    std::size_t findNextOf(std::size_t from, std::string_view characters, bool skipQuotes) const;
    bool startsWith(std::size_t at, std::string_view text) const {
        return xml_.substr(std::min(at, xml_.size())).starts_with(text);
    }

    std::string_view xml_;
    std::size_t position_ = 0;
    std::string path_;        // 'p', 'd' or 'a' per open element, as libplist's node path
    std::size_t levels_ = 0;  // open containers; an empty root container counts as one
    bool rootSeen_ = false;
    bool cutting_ = false;
    Cut openCut_{0, 0};
    Result result_;
};

void XmlDepthScan::skipSpace() {
    while (position_ < xml_.size() && isXmlSpace(xml_[position_])) {
        ++position_;
    }
}

// libplist's `find_str`: with `skipQuotes`, text between double quotes is passed over.
std::size_t XmlDepthScan::find(std::size_t from, std::string_view needle, bool skipQuotes) const {
    if (!skipQuotes) {
        return xml_.find(needle, from);
    }
    std::size_t at = from;
    while (at + needle.size() < xml_.size()) {
        if (startsWith(at, needle)) {
            return at;
        }
        if (xml_[at] == '"') {
            at = xml_.find('"', at + 1);
            if (at == std::string_view::npos) {
                return at;
            }
        }
        ++at;
    }
    return at + needle.size() == xml_.size() && startsWith(at, needle) ? at
                                                                       : std::string_view::npos;
}

// libplist's `find_next`: the first of `characters`, or the end of the text.
std::size_t XmlDepthScan::findNextOf(std::size_t from, std::string_view characters,
                                     bool skipQuotes) const {
    for (std::size_t at = from; at < xml_.size(); ++at) {
        if (skipQuotes && xml_[at] == '"') {
            at = xml_.find('"', at + 1);
            if (at == std::string_view::npos) {
                return xml_.size();
            }
        }
        if (characters.find(xml_[at]) != std::string_view::npos) {
            return at;
        }
    }
    return xml_.size();
}

XmlDepthScan::Result XmlDepthScan::run() {
    for (;;) {
        skipSpace();
        if (position_ >= xml_.size()) {
            break;
        }
        const Step step = xml_[position_] == '<' ? element(position_) : Step::error;
        if (step == Step::error) {
            result_.malformedInCut = cutting_;
            return result_;
        }
        if (step == Step::stop) {
            return result_;
        }
    }
    if (cutting_) {
        // Never closed: libplist fails on the open containers around the cut anyway.
        result_.cuts.push_back({openCut_.begin, xml_.size()});
    }
    return result_;
}

bool XmlDepthScan::skipDoctype() {
    position_ += 8;
    bool internalSubset = false;
    while (position_ < xml_.size()) {
        position_ = findNextOf(position_, " \t\r\n[>", true);
        if (position_ >= xml_.size()) {
            return false;
        }
        if (xml_[position_] == '[') {
            internalSubset = true;
            break;
        }
        if (xml_[position_] == '>') {
            ++position_;
            break;
        }
        skipSpace();
    }
    if (internalSubset) {
        position_ = find(position_, "]>", true);
        if (position_ == std::string_view::npos) {
            return false;
        }
        position_ += 2;
    }
    return true;
}

// libplist compares an end tag with `strncmp` over the length of the start tag's raw name,
// whose copy ends at its first NUL.
bool XmlDepthScan::matchesEndTag(std::size_t at, std::string_view name,
                                 std::size_t rawLength) const {
    for (std::size_t i = 0; i < rawLength; ++i) {
        const char expected = i < name.size() ? name[i] : '\0';
        if (xml_[at + i] != expected) {
            return false;
        }
        if (expected == '\0') {
            return true;
        }
    }
    return true;
}

// libplist's `get_text_parts`: text, comments and CDATA up to the matching end tag.
bool XmlDepthScan::skipTextContent(std::string_view name, std::size_t rawLength) {
    for (;;) {
        const std::size_t open = xml_.find('<', position_);
        if (open == std::string_view::npos || open + 1 >= xml_.size()) {
            return false;
        }
        position_ = open + 1;
        if (xml_[position_] == '/') {
            break;
        }
        if (xml_[position_] != '!' || position_ + 2 >= xml_.size()) {
            return false;
        }
        ++position_;
        std::string_view terminator;
        if (startsWith(position_, "--")) {
            position_ += 2;
            terminator = "-->";
        } else if (position_ + 9 < xml_.size() && startsWith(position_, "[CDATA[")) {
            position_ += 7;
            terminator = "]]>";
        } else {
            return false;
        }
        const std::size_t close = xml_.find(terminator, position_);
        if (close == std::string_view::npos) {
            return false;
        }
        position_ = close + terminator.size();
    }
    ++position_;
    if (position_ + rawLength >= xml_.size() || !matchesEndTag(position_, name, rawLength)) {
        return false;
    }
    position_ += rawLength;
    skipSpace();
    if (position_ >= xml_.size() || xml_[position_] != '>') {
        return false;
    }
    ++position_;
    return true;
}

// One markup construct starting at `<`: libplist's main loop, minus building nodes.
XmlDepthScan::Step XmlDepthScan::element(std::size_t tagStart) {
    position_ = tagStart + 1;
    if (position_ >= xml_.size()) {
        return Step::error;
    }
    if (xml_[position_] == '?') {
        const std::size_t close = find(position_, "?>", true);
        if (close == std::string_view::npos) {
            return Step::error;
        }
        position_ = close + 2;
        return Step::next;
    }
    if (xml_[position_] == '!') {
        if (xml_.size() - position_ > 3 && startsWith(position_, "!--")) {
            const std::size_t close = xml_.find("-->", position_ + 3);
            if (close == std::string_view::npos) {
                return Step::error;
            }
            position_ = close + 3;
            return Step::next;
        }
        if (xml_.size() - position_ > 8 && startsWith(position_, "!DOCTYPE")) {
            return skipDoctype() ? Step::next : Step::error;
        }
        return Step::error;
    }

    const std::size_t nameStart = position_;
    position_ = findNextOf(position_, " \r\n\t<>", false);
    if (position_ >= xml_.size()) {
        return Step::error;
    }
    std::size_t nameEnd = position_;
    if (xml_[position_] != '>') {
        position_ = findNextOf(position_, "<>", true);
        if (position_ >= xml_.size() || xml_[position_] != '>') {
            return Step::error;
        }
    }
    const bool empty = xml_[position_ - 1] == '/';
    if (empty && position_ - 1 < nameEnd) {
        nameEnd = position_ - 1;
    }
    // libplist copies the name as a C string: it ends at a NUL.
    const std::size_t rawLength = nameEnd - nameStart;
    std::string_view name = xml_.substr(nameStart, nameEnd - nameStart);
    name = name.substr(0, name.find('\0'));
    ++position_;

    if (name == "plist") {
        if (path_.empty() && rootSeen_) {
            return Step::stop;  // libplist reads one top-level <plist> only
        }
        if (empty) {
            return Step::error;
        }
        path_.push_back('p');
        return Step::next;
    }
    if (name == "/plist" || name == "/dict" || name == "/array") {
        const char kind = name[1];
        if (path_.empty() || path_.back() != kind) {
            return Step::error;
        }
        path_.pop_back();
        if (kind == 'p') {
            return Step::next;
        }
        --levels_;
        if (cutting_ && levels_ == kLimit) {
            result_.cuts.push_back({openCut_.begin, position_});
            cutting_ = false;
        }
        // When the root container closes, libplist is done with the text.
        return levels_ == 0 ? Step::stop : Step::next;
    }
    if (name == "dict" || name == "array") {
        if (!rootSeen_ && empty) {
            levels_ = 1;  // libplist adds whatever follows an empty root into it
        }
        rootSeen_ = true;
        if (!empty) {
            path_.push_back(name[0]);
            ++levels_;
            if (levels_ == kLimit + 1 && !cutting_) {
                cutting_ = true;
                openCut_ = {tagStart, 0};
            }
        }
        return Step::next;
    }
    static constexpr std::string_view kTextElements[] = {"key",  "string", "integer", "real",
                                                         "date", "data",   "true",    "false"};
    if (std::find(std::begin(kTextElements), std::end(kTextElements), name) ==
        std::end(kTextElements)) {
        return Step::error;
    }
    if (!empty && !skipTextContent(name, rawLength)) {
        return Step::error;
    }
    if (!rootSeen_) {
        return Step::stop;  // a scalar root: libplist reads nothing after it
    }
    return Step::next;
}

std::string withCutsReplaced(std::string_view xml, const std::vector<XmlDepthScan::Cut>& cuts,
                             const std::string& marker) {
    const std::string replacement = "<string>" + marker + "</string>";
    std::string text;
    text.reserve(xml.size());
    std::size_t from = 0;
    for (const XmlDepthScan::Cut& cut : cuts) {
        text.append(xml.substr(from, cut.begin - from));
        text.append(replacement);
        from = cut.end;
    }
    text.append(xml.substr(from));
    return text;
}

std::optional<PropertyListValue> readXml(std::string_view xml) {
    if (xml.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    const XmlDepthScan::Result scan = XmlDepthScan(xml).run();
    if (scan.malformedInCut) {
        return std::nullopt;
    }
    std::string marker;
    std::string cutText;
    if (!scan.cuts.empty()) {
        // Made for this read, so no document can hold it by chance or by design.
        marker = "keelwick-depth-limit-" +
                 QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        cutText = withCutsReplaced(xml, scan.cuts, marker);
        xml = cutText;
    }
    plist_t root = nullptr;
    plist_from_xml(xml.data(), std::uint32_t(xml.size()), &root);
    return convertPlist(root, std::move(marker));
}

// ---------------------------------------------------------------------------------------
// The binary form: a complete check of the object graph before libplist sees it, and our
// own decoder for documents deeper than the limit.

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
    if (isContainer(object->kind) && level > kLimit) {
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
            detail::DictionaryBuilder entries;
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

std::optional<PropertyListValue> readBinary(std::string_view bytes) {
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
    if (facts->containerLevels > kLimit || facts->keyHoldsNul) {
        return BinaryDecoder(*layout).decode(layout->topObject(), 1);
    }
    plist_t root = nullptr;
    plist_from_bin(bytes.data(), std::uint32_t(bytes.size()), &root);
    return convertPlist(root, std::string());
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
                value = readBinary(view);
                break;
            case PropertyListFormat::xml:
                // libplist does not skip a byte order mark.
                value = readXml(
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
