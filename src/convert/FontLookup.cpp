#include "convert/FontLookup.h"

namespace keelwick::FontLookup {

using namespace Qt::StringLiterals;

namespace {

QString host(Source source) {
    switch (source) {
        case Source::googleFonts:
            return QStringLiteral("fonts.google.com");
        case Source::myFonts:
            return QStringLiteral("www.myfonts.com");
        case Source::adobeFonts:
            return QStringLiteral("fonts.adobe.com");
    }
    return {};
}

QString path(Source source) {
    switch (source) {
        case Source::googleFonts:
            return QStringLiteral("/");
        case Source::myFonts:
        case Source::adobeFonts:
            return QStringLiteral("/search");
    }
    return {};
}

/// Whether a space goes between the characters `previous` and `next`: at a change from a
/// small to a capital letter, and between letters and numbers either way.
bool isWordBoundary(char32_t previous, char32_t next) {
    return (QChar::isLower(previous) && QChar::isUpper(next)) ||
           (QChar::isNumber(previous) && QChar::isLetter(next)) ||
           (QChar::isLetter(previous) && QChar::isNumber(next));
}

}  // namespace

QString rawValue(Source source) {
    switch (source) {
        case Source::googleFonts:
            return QStringLiteral("googleFonts");
        case Source::myFonts:
            return QStringLiteral("myFonts");
        case Source::adobeFonts:
            return QStringLiteral("adobeFonts");
    }
    return {};
}

std::optional<Source> sourceFromRawValue(const QString& text) {
    for (const Source source : allSources) {
        if (rawValue(source) == text) {
            return source;
        }
    }
    return std::nullopt;
}

QString title(Source source) {
    switch (source) {
        case Source::googleFonts:
            return QStringLiteral("Google Fonts");
        case Source::myFonts:
            return QStringLiteral("MyFonts");
        case Source::adobeFonts:
            return QStringLiteral("Adobe Fonts");
    }
    return {};
}

const QSet<QString>& styleWords() {
    // A function-local static is initialised exactly once, even when threads race to the
    // first call, and only read afterwards.
    static const QSet<QString> words{
        u"thin"_s,     u"hairline"_s,  u"extralight"_s, u"ultralight"_s, u"light"_s,
        u"regular"_s,  u"normal"_s,    u"book"_s,       u"roman"_s,      u"plain"_s,
        u"medium"_s,   u"demi"_s,      u"demibold"_s,   u"semi"_s,       u"semibold"_s,
        u"bold"_s,     u"extra"_s,     u"extrabold"_s,  u"ultra"_s,      u"ultrabold"_s,
        u"heavy"_s,    u"black"_s,     u"italic"_s,     u"italics"_s,    u"oblique"_s,
        u"slanted"_s,  u"condensed"_s, u"cond"_s,       u"compressed"_s, u"narrow"_s,
        u"expanded"_s, u"extended"_s,  u"wide"_s,       u"upright"_s};
    return words;
}

QStringList splitIntoWords(const QString& text) {
    QString spaced;
    spaced.reserve(text.size() * 2);
    // The character before the current one, ignoring combining marks: a mark belongs to the
    // letter it follows, so "e" + U+0301 followed by a capital still starts a new word.
    std::optional<char32_t> previous;
    for (char32_t character : text.toUcs4()) {
        if (character == U'-' || character == U'_') {
            character = U' ';
        }
        if (QChar::isMark(character) && previous) {
            spaced.append(QChar::fromUcs4(character));
            continue;
        }
        if (previous && isWordBoundary(*previous, character)) {
            spaced.append(QLatin1Char(' '));
        }
        spaced.append(QChar::fromUcs4(character));
        previous = character;
    }
    return spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString searchTerm(const QString& fontName) {
    qsizetype firstKept = 0;
    while (firstKept < fontName.size() && fontName[firstKept] == QLatin1Char('.')) {
        ++firstKept;
    }
    const QString withoutDots = fontName.mid(firstKept);

    // The style part of a PostScript name ("-BoldOblique") follows the first hyphen.
    QString hyphenated = withoutDots;
    hyphenated.replace(QLatin1Char('_'), QLatin1Char('-'));
    const QStringList pieces = hyphenated.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    QStringList words = splitIntoWords(pieces.isEmpty() ? withoutDots : pieces.first());

    while (words.size() >= 2 && styleWords().contains(words.last().toLower())) {
        words.removeLast();
    }
    const QString term = words.join(QLatin1Char(' '));
    return term.isEmpty() ? splitIntoWords(withoutDots).join(QLatin1Char(' ')) : term;
}

std::optional<QUrl> url(const QString& fontName, Source source) {
    QUrl address;
    address.setScheme(QStringLiteral("https"));
    address.setHost(host(source));
    address.setPath(path(source));
    // The value is percent-encoded here rather than by QUrlQuery, which leaves "+" as it is
    // (search services read it as a space) and takes a "%" followed by two hex digits in a
    // font name for an escape. Everything but unreserved ASCII is encoded, a space as "%20".
    const QByteArray value = QUrl::toPercentEncoding(searchTerm(fontName));
    address.setQuery(QStringLiteral("query=") + QString::fromLatin1(value), QUrl::StrictMode);
    if (!address.isValid()) {
        return std::nullopt;
    }
    return address;
}

}  // namespace keelwick::FontLookup
