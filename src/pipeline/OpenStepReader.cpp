#include "pipeline/OpenStepReader.h"

#include "pipeline/PropertyListReader.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace keelwick {
namespace {

// The characters an unquoted string is made of, as the platform's parser defines them.
bool isUnquotedCharacter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c == u'/' || c == u':' || c == u'.' || c == u'-';
}

int hexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

enum class Token {
    end,
    invalid,
    openDictionary,
    closeDictionary,
    openArray,
    closeArray,
    equals,
    semicolon,
    comma,
    string,
    data
};

/// Splits the text into tokens; string and data tokens leave their value behind.
class Tokenizer {
  public:
    explicit Tokenizer(QStringView text) : text_(text) {}

    Token next();
    void rewind() { position_ = 0; }
    QString takeString() { return std::move(string_); }
    QByteArray takeData() { return std::move(data_); }

  private:
    bool atEnd() const { return position_ >= text_.size(); }
    char16_t peek(qsizetype offset = 0) const {
        return position_ + offset < text_.size() ? text_[position_ + offset].unicode() : u'\0';
    }
    bool skipSpaceAndComments();
    Token readQuotedString(char16_t quote);
    void readEscape();
    Token readData();
    Token readUnquotedString();

    QStringView text_;
    qsizetype position_ = 0;
    QString string_;
    QByteArray data_;
};

// False when a block comment is left open: the text was cut short.
bool Tokenizer::skipSpaceAndComments() {
    while (!atEnd()) {
        const char16_t c = peek();
        if (QChar::isSpace(c)) {
            ++position_;
        } else if (c == u'/' && peek(1) == u'/') {
            while (!atEnd() && peek() != u'\n' && peek() != u'\r' && peek() != u'\u2028' &&
                   peek() != u'\u2029') {
                ++position_;
            }
        } else if (c == u'/' && peek(1) == u'*') {
            const qsizetype close = text_.indexOf(u"*/", position_ + 2);
            if (close < 0) {
                return false;
            }
            position_ = close + 2;
        } else {
            return true;
        }
    }
    return true;
}

Token Tokenizer::next() {
    if (!skipSpaceAndComments()) {
        return Token::invalid;
    }
    if (atEnd()) {
        return Token::end;
    }
    const char16_t c = peek();
    switch (c) {
        case u'{':
            ++position_;
            return Token::openDictionary;
        case u'}':
            ++position_;
            return Token::closeDictionary;
        case u'(':
            ++position_;
            return Token::openArray;
        case u')':
            ++position_;
            return Token::closeArray;
        case u'=':
            ++position_;
            return Token::equals;
        case u';':
            ++position_;
            return Token::semicolon;
        case u',':
            ++position_;
            return Token::comma;
        case u'"':
        case u'\'':
            return readQuotedString(c);
        case u'<':
            return readData();
        default:
            return isUnquotedCharacter(c) ? readUnquotedString() : Token::invalid;
    }
}

Token Tokenizer::readQuotedString(char16_t quote) {
    ++position_;
    string_.clear();
    while (!atEnd()) {
        const char16_t c = peek();
        if (c == quote) {
            ++position_;
            return Token::string;
        }
        if (c == u'\\') {
            ++position_;
            if (atEnd()) {
                break;
            }
            readEscape();
        } else {
            // Control characters and anything else stand for themselves.
            string_.append(QChar(c));
            ++position_;
        }
    }
    return Token::invalid;
}

// The escapes of the platform's parser. An octal escape gives the code point of its value
// (Latin-1 above 127); `\U` and `\u` take up to four hex digits of one UTF-16 unit, so a
// surrogate pair is written as two escapes. Any other escaped character stands for itself.
void Tokenizer::readEscape() {
    const char16_t c = peek();
    ++position_;
    switch (c) {
        case u'a':
            string_.append(QChar(u'\a'));
            return;
        case u'b':
            string_.append(QChar(u'\b'));
            return;
        case u'f':
            string_.append(QChar(u'\f'));
            return;
        case u'n':
            string_.append(QChar(u'\n'));
            return;
        case u'r':
            string_.append(QChar(u'\r'));
            return;
        case u't':
            string_.append(QChar(u'\t'));
            return;
        case u'v':
            string_.append(QChar(u'\v'));
            return;
        default:
            break;
    }
    if (c >= u'0' && c <= u'7') {
        char16_t value = c - u'0';
        for (int digits = 1; digits < 3 && peek() >= u'0' && peek() <= u'7'; ++digits) {
            value = value * 8 + (peek() - u'0');
            ++position_;
        }
        string_.append(QChar(value));
        return;
    }
    if (c == u'U' || c == u'u') {
        char16_t value = 0;
        int digits = 0;
        for (; digits < 4 && hexDigitValue(peek()) >= 0; ++digits) {
            value = value * 16 + hexDigitValue(peek());
            ++position_;
        }
        string_.append(digits > 0 ? QChar(value) : QChar(c));
        return;
    }
    string_.append(QChar(c));
}

// `<` hex digit pairs, white space allowed between them, `>`. An odd digit count is an error.
Token Tokenizer::readData() {
    ++position_;
    data_.clear();
    int pending = -1;
    while (!atEnd()) {
        const char16_t c = peek();
        ++position_;
        if (c == u'>') {
            return pending < 0 ? Token::data : Token::invalid;
        }
        if (QChar::isSpace(c)) {
            continue;
        }
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            return Token::invalid;
        }
        if (pending < 0) {
            pending = digit;
        } else {
            data_.append(static_cast<char>(pending * 16 + digit));
            pending = -1;
        }
    }
    return Token::invalid;
}

Token Tokenizer::readUnquotedString() {
    const qsizetype start = position_;
    while (!atEnd() && isUnquotedCharacter(peek())) {
        ++position_;
    }
    string_ = text_.mid(start, position_ - start).toString();
    return Token::string;
}

/// One open container. Frames are two bytes, so that content nested far below the depth
/// limit is still checked for syntax without recursion and at little cost.
struct Frame {
    enum class Kind : char { dictionary, array, dictionaryBody };
    enum class Expect : char { keyOrClose, equals, value, semicolon, valueOrClose, commaOrClose };
    Kind kind;
    Expect expect;
};

/// What a container at or above the depth limit has gathered so far.
struct Content {
    detail::DictionaryBuilder dictionary;
    PropertyListArray array;
    QString key;
};

/// An iterative parser: containers of any depth cost no stack. `frames_` has one entry per
/// open container; `contents_` only for those within the depth limit.
class Parser {
  public:
    explicit Parser(QStringView text) : tokens_(text) {}

    enum class Outcome { value, error, textAfterValue };

    /// Reads one value that must be followed by the end of the text, or, as a dictionary
    /// body, `key = value;` pairs up to the end of the text.
    Outcome parse(bool asDictionaryBody);
    PropertyListValue takeValue() { return std::move(*root_); }

  private:
    bool step(Token token);
    bool stepInDictionary(Frame& frame, Token token);
    bool stepInArray(Frame& frame, Token token);
    bool startValue(Token token);
    void open(Frame::Kind kind);
    void close();
    void deliver(PropertyListValue value);
    bool keepsContent() const { return frames_.size() <= std::size_t(kMaxNestingDepth); }

    Tokenizer tokens_;
    std::vector<Frame> frames_;
    std::vector<Content> contents_;
    std::optional<PropertyListValue> root_;
};

Parser::Outcome Parser::parse(bool asDictionaryBody) {
    tokens_.rewind();
    frames_.clear();
    contents_.clear();
    root_.reset();
    if (asDictionaryBody) {
        open(Frame::Kind::dictionaryBody);
    }
    while (!root_) {
        const Token token = tokens_.next();
        if (token == Token::invalid) {
            return Outcome::error;
        }
        const bool accepted = frames_.empty() ? startValue(token) : step(token);
        if (!accepted) {
            return Outcome::error;
        }
    }
    return tokens_.next() == Token::end ? Outcome::value : Outcome::textAfterValue;
}

bool Parser::step(Token token) {
    Frame& frame = frames_.back();
    return frame.kind == Frame::Kind::array ? stepInArray(frame, token)
                                            : stepInDictionary(frame, token);
}

bool Parser::stepInDictionary(Frame& frame, Token token) {
    switch (frame.expect) {
        case Frame::Expect::keyOrClose:
            if (token == Token::string) {
                if (keepsContent()) {
                    contents_.back().key = tokens_.takeString();
                }
                frame.expect = Frame::Expect::equals;
                return true;
            }
            if ((token == Token::closeDictionary && frame.kind == Frame::Kind::dictionary) ||
                (token == Token::end && frame.kind == Frame::Kind::dictionaryBody)) {
                close();
                return true;
            }
            return false;
        case Frame::Expect::equals:
            frame.expect = Frame::Expect::value;
            return token == Token::equals;
        case Frame::Expect::value:
            return startValue(token);
        case Frame::Expect::semicolon:
            frame.expect = Frame::Expect::keyOrClose;
            return token == Token::semicolon;
        default:
            return false;
    }
}

bool Parser::stepInArray(Frame& frame, Token token) {
    if (frame.expect == Frame::Expect::commaOrClose && token == Token::comma) {
        frame.expect = Frame::Expect::valueOrClose;
        return true;
    }
    if (token == Token::closeArray) {
        close();
        return true;
    }
    return frame.expect == Frame::Expect::valueOrClose && startValue(token);
}

bool Parser::startValue(Token token) {
    switch (token) {
        case Token::string:
            deliver(PropertyListValue::string(tokens_.takeString()));
            return true;
        case Token::data:
            deliver(PropertyListValue::data(tokens_.takeData()));
            return true;
        case Token::openDictionary:
            open(Frame::Kind::dictionary);
            return true;
        case Token::openArray:
            open(Frame::Kind::array);
            return true;
        default:
            return false;
    }
}

void Parser::open(Frame::Kind kind) {
    const Frame::Expect expect =
        kind == Frame::Kind::array ? Frame::Expect::valueOrClose : Frame::Expect::keyOrClose;
    frames_.push_back({kind, expect});
    if (keepsContent()) {
        contents_.emplace_back();
    }
}

// A container within the limit becomes its value; the one container just past the limit
// becomes the truncation marker; containers deeper still are dropped with their parent.
void Parser::close() {
    const std::size_t level = frames_.size();
    const Frame::Kind kind = frames_.back().kind;
    frames_.pop_back();
    if (level <= std::size_t(kMaxNestingDepth)) {
        Content& content = contents_.back();
        PropertyListValue value = kind == Frame::Kind::array
                                      ? PropertyListValue::array(std::move(content.array))
                                      : content.dictionary.build();
        contents_.pop_back();
        deliver(std::move(value));
    } else {
        deliver(level == std::size_t(kMaxNestingDepth) + 1 ? PropertyListValue::truncated()
                                                           : PropertyListValue());
    }
}

void Parser::deliver(PropertyListValue value) {
    if (frames_.empty()) {
        root_ = std::move(value);
        return;
    }
    Frame& parent = frames_.back();
    const bool keep = keepsContent();
    if (parent.kind == Frame::Kind::array) {
        if (keep) {
            contents_.back().array.push_back(std::move(value));
        }
        parent.expect = Frame::Expect::commaOrClose;
    } else {
        if (keep) {
            Content& content = contents_.back();
            content.dictionary.insert(std::move(content.key), std::move(value));
        }
        parent.expect = Frame::Expect::semicolon;
    }
}

}  // namespace

std::optional<PropertyListValue> readOpenStepPropertyList(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        view = view.sliced(3);
    }
    const QString text = QString::fromUtf8(view);
    Parser parser(text);
    Parser::Outcome outcome = parser.parse(false);
    // Text after a complete value may still be a dictionary body without braces, such as
    // `key = value;`: the platform reads that as a dictionary, and so do we.
    if (outcome == Parser::Outcome::textAfterValue) {
        outcome = parser.parse(true);
    }
    if (outcome != Parser::Outcome::value) {
        return std::nullopt;
    }
    return parser.takeValue();
}

}  // namespace keelwick
