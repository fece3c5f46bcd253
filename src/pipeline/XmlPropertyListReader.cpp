// The XML form: libplist reads it, behind a scan that cuts out every container below the
// depth limit, so that libplist never builds (nor frees, recursively) a tree deeper than
// the limit.

#include "pipeline/PropertyListForms.h"

#include <QUuid>

#include <plist/plist.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace keelwick::detail {

namespace {

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
        if (cutting_ && levels_ == kDepthLimit) {
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
            if (levels_ == kDepthLimit + 1 && !cutting_) {
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

}  // namespace

std::optional<PropertyListValue> readXmlPropertyList(std::string_view xml) {
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

}  // namespace keelwick::detail
