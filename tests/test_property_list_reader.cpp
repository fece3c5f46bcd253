#include "pipeline/PropertyListReader.h"
#include "support/QtPrinting.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <plist/plist.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

namespace keelwick {
namespace {

const QString kFormatError =
    QStringLiteral("The data couldn\u2019t be read because it isn\u2019t in the correct format.");

// A readable text of a tree, so that failures show where two trees differ.
QString describe(const PropertyListValue& value) {
    switch (value.type()) {
        case PropertyListValue::Type::None:
            return QStringLiteral("none");
        case PropertyListValue::Type::Truncated:
            return QStringLiteral("TRUNCATED");
        case PropertyListValue::Type::String:
            return u'"' + *value.asString() + u'"';
        case PropertyListValue::Type::Integer:
            return QStringLiteral("i%1").arg(*value.asInteger());
        case PropertyListValue::Type::Real:
            return QStringLiteral("r%1").arg(*value.asReal(), 0, 'g', 17);
        case PropertyListValue::Type::Boolean:
            return *value.asBoolean() ? QStringLiteral("true") : QStringLiteral("false");
        case PropertyListValue::Type::Date:
            return QStringLiteral("date%1").arg(value.asDate()->secondsSinceReferenceDate, 0, 'g',
                                                17);
        case PropertyListValue::Type::Data:
            return u'<' + QString::fromLatin1(value.asData()->toHex()) + u'>';
        case PropertyListValue::Type::Array: {
            QStringList parts;
            for (const PropertyListValue& element : *value.asArray()) {
                parts << describe(element);
            }
            return u'(' + parts.join(u',') + u')';
        }
        case PropertyListValue::Type::Dictionary: {
            QString text = QStringLiteral("{");
            for (const auto& [key, element] : *value.asDictionary()) {
                text += key + u'=' + describe(element) + u';';
            }
            return text + u'}';
        }
    }
    return {};
}

QString describe(const PropertyListReadResult& result) {
    return result.value ? describe(*result.value)
                        : QStringLiteral("error: ") + result.errorDescription;
}

PropertyListReadResult read(const QByteArray& bytes) {
    return readPropertyList(bytes);
}

void expectFormatError(const QByteArray& bytes, const char* what) {
    const PropertyListReadResult result = read(bytes);
    EXPECT_FALSE(result.value.has_value()) << what << ": " << qPrintable(describe(result));
    EXPECT_EQ(result.errorDescription, kFormatError) << what;
}

/// Writes binary property lists object by object, so that tests can make any shape,
/// including broken ones. Container references are written with `referenceSize` bytes.
class BinaryWriter {
  public:
    int raw(QByteArray object) {
        objects_.push_back({std::move(object), {}});
        return int(objects_.size()) - 1;
    }
    int string(const QByteArray& ascii) { return raw(withLength(0x50, ascii.size()) + ascii); }
    int utf16(const QString& text) {
        QByteArray bytes = withLength(0x60, text.size());
        for (QChar c : text) {
            bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        return raw(bytes);
    }
    int integer(qint64 value, int size = 8) {
        const int exponent = size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3;
        return raw(char(0x10 | exponent) + bigEndian(quint64(value), size));
    }
    int real(double value) { return raw(char(0x23) + bitsOf(value)); }
    int real32(float value) { return raw(char(0x22) + bitsOf(value)); }
    int date(double seconds) { return raw(char(0x33) + bitsOf(seconds)); }
    int boolean(bool value) { return raw(QByteArray(1, value ? char(0x09) : char(0x08))); }
    int data(const QByteArray& bytes) { return raw(withLength(0x40, bytes.size()) + bytes); }
    int array(std::vector<int> elements) {
        objects_.push_back({withLength(0xA0, qsizetype(elements.size())), elements});
        return int(objects_.size()) - 1;
    }
    int dictionary(const std::vector<std::pair<int, int>>& entries) {
        std::vector<int> references;
        for (const auto& entry : entries) {
            references.push_back(entry.first);
        }
        for (const auto& entry : entries) {
            references.push_back(entry.second);
        }
        objects_.push_back({withLength(0xD0, qsizetype(entries.size())), references});
        return int(objects_.size()) - 1;
    }
    /// Points a container's references somewhere else after the fact (for cycles).
    void setReferences(int container, std::vector<int> references) {
        objects_[container].references = std::move(references);
    }

    QByteArray finish(int top, int referenceSize = 4) const {
        QByteArray bytes("bplist00");
        std::vector<quint64> offsets;
        for (const Object& object : objects_) {
            offsets.push_back(quint64(bytes.size()));
            bytes += object.header;
            for (int reference : object.references) {
                bytes += bigEndian(quint64(reference), referenceSize);
            }
        }
        const quint64 offsetTable = quint64(bytes.size());
        for (quint64 offset : offsets) {
            bytes += bigEndian(offset, 4);
        }
        bytes += QByteArray(6, '\0');
        bytes += char(4);
        bytes += char(referenceSize);
        bytes += bigEndian(objects_.size(), 8);
        bytes += bigEndian(quint64(top), 8);
        bytes += bigEndian(offsetTable, 8);
        return bytes;
    }

    static QByteArray bigEndian(quint64 value, int size) {
        QByteArray bytes(size, '\0');
        for (int i = size - 1; i >= 0; --i, value >>= 8) {
            bytes[i] = char(value & 0xFF);
        }
        return bytes;
    }

  private:
    struct Object {
        QByteArray header;
        std::vector<int> references;
    };
    template <typename Number>
    static QByteArray bitsOf(Number value) {
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof value);
        return bigEndian(bits, sizeof value);
    }
    static QByteArray withLength(int marker, qsizetype length) {
        if (length < 15) {
            return QByteArray(1, char(marker | int(length)));
        }
        return QByteArray(1, char(marker | 0xF)) + char(0x13) + bigEndian(quint64(length), 8);
    }
    std::vector<Object> objects_;
};

// ---------------------------------------------------------------------------------------
// The same document in the three forms.

const char* kDrawingXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Version</key>
	<string>3.1</string>
	<key>Layers</key>
	<array>
		<dict>
			<key>Name</key>
			<string>Back &amp; front</string>
			<key>Shapes</key>
			<array>
				<dict>
					<key>ShapeType</key>
					<string>PathShape</string>
					<key>Position</key>
					<string>{10, 20}</string>
					<key>Path</key>
					<string>M 0 0 L 100 50</string>
				</dict>
			</array>
		</dict>
		<dict/>
	</array>
</dict>
</plist>
)";

const char* kDrawingOpenStep = R"(// A drawing in the old text form
{
    Version = "3.1";
    Layers = (
        {
            Name = "Back & front";
            Shapes = ( { ShapeType = PathShape; Position = "{10, 20}"; Path = "M 0 0 L 100 50"; } );
        },
        { }
    );
}
)";

QByteArray drawingBinary() {
    BinaryWriter writer;
    const int shape = writer.dictionary({{writer.string("ShapeType"), writer.string("PathShape")},
                                         {writer.string("Position"), writer.string("{10, 20}")},
                                         {writer.string("Path"), writer.string("M 0 0 L 100 50")}});
    const int layer = writer.dictionary({{writer.string("Name"), writer.string("Back & front")},
                                         {writer.string("Shapes"), writer.array({shape})}});
    const int layers = writer.array({layer, writer.dictionary({})});
    const int root = writer.dictionary(
        {{writer.string("Version"), writer.string("3.1")}, {writer.string("Layers"), layers}});
    return writer.finish(root);
}

TEST(PropertyListReader, readsTheSameDocumentInAllThreeFormsAsEqualTrees) {
    const PropertyListReadResult xml = read(kDrawingXml);
    const PropertyListReadResult binary = read(drawingBinary());
    const PropertyListReadResult openStep = read(kDrawingOpenStep);

    ASSERT_TRUE(xml.succeeded()) << qPrintable(describe(xml));
    EXPECT_EQ(describe(xml),
              "{Version=\"3.1\";Layers=({Name=\"Back & front\";Shapes=({ShapeType=\"PathShape\";"
              "Position=\"{10, 20}\";Path=\"M 0 0 L 100 50\";});},{});}");
    EXPECT_EQ(describe(binary), describe(xml));
    EXPECT_EQ(describe(openStep), describe(xml));

    EXPECT_EQ(formatName(xml.format), "xml");
    EXPECT_EQ(formatName(binary.format), "binary");
    EXPECT_EQ(formatName(openStep.format), "openStep");
    EXPECT_TRUE(xml.errorDescription.isEmpty());
}

TEST(PropertyListReader, skipsAByteOrderMarkAndLeadingSpaceBeforeTellingTheForm) {
    const PropertyListReadResult xml = read("\xEF\xBB\xBF \n<plist><string>x</string></plist>");
    EXPECT_EQ(xml.format, PropertyListFormat::xml);
    EXPECT_EQ(describe(xml), "\"x\"");
    const PropertyListReadResult openStep = read("\xEF\xBB\xBF{ a = b; }");
    EXPECT_EQ(openStep.format, PropertyListFormat::openStep);
    EXPECT_EQ(describe(openStep), "{a=\"b\";}");
}

// ---------------------------------------------------------------------------------------
// Typed values.

TEST(PropertyListReader, readsTypedXmlValues) {
    const PropertyListReadResult result = read(R"(<plist><dict>
        <key>negative</key><integer>-42</integer>
        <key>large</key><integer>9223372036854775807</integer>
        <key>smallest</key><integer>-9223372036854775808</integer>
        <key>real</key><real>-1.25e2</real>
        <key>yes</key><true/>
        <key>no</key><false/>
        <key>data</key><data>AAH/</data>
        <key>date</key><date>2001-01-02T00:00:01Z</date>
        <key>old</key><date>1999-12-31T23:59:59Z</date>
        <key>nested</key><array><array><integer>1</integer></array><dict><key>k</key><string/></dict></array>
        <key>unicode</key><string>h&#233;llo &#x1F600; &lt;&amp;&gt; ü</string>
    </dict></plist>)");
    EXPECT_EQ(describe(result),
              "{negative=i-42;large=i9223372036854775807;smallest=i-9223372036854775808;"
              "real=r-125;yes=true;no=false;data=<0001ff>;date=date86401;old=date-31622401;"
              "nested=((i1),{k=\"\";});unicode=\"h\u00e9llo \U0001F600 <&> \u00fc\";}");
}

TEST(PropertyListReader, letsALaterDuplicateKeyReplaceTheEarlierValueInPlace) {
    EXPECT_EQ(describe(read("<plist><dict><key>a</key><integer>1</integer><key>b</key><true/>"
                            "<key>a</key><integer>2</integer></dict></plist>")),
              "{a=i2;b=true;}");
    EXPECT_EQ(describe(read("{ a = 1; b = x; a = 2; }")), "{a=\"2\";b=\"x\";}");

    BinaryWriter writer;
    const int a = writer.string("a");
    const int root = writer.dictionary({{a, writer.integer(1)},
                                        {writer.string("b"), writer.boolean(true)},
                                        {a, writer.integer(2)}});
    EXPECT_EQ(describe(read(writer.finish(root))), "{a=i2;b=true;}");
}

TEST(PropertyListReader, keepsLargeDictionariesFreeOfDuplicateKeys) {
    QByteArray text = "{";
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 40; ++i) {
            text += "k" + QByteArray::number(i) + " = v" + QByteArray::number(round) + ";";
        }
    }
    text += "}";
    const PropertyListReadResult result = read(text);
    ASSERT_TRUE(result.succeeded());
    const PropertyListDictionary& entries = *result.value->asDictionary();
    ASSERT_EQ(entries.size(), 40u);
    EXPECT_EQ(entries[0].first, "k0");
    EXPECT_EQ(*entries[39].second.asString(), "v1");
}

TEST(PropertyListReader, readsOpenStepStringsEscapesDataAndComments) {
    const PropertyListReadResult result = read(R"(
        /* a block
           comment */
        {
            number = 12;             // a number is a string in this form
            real = -1.5e3;
            quoted = "tab\there \"q\" back\\slash\nnew line";
            single = 'say "hi"';
            octal = "\101\60\0";
            unicode = "caf\U00e9 \u00FC \UD83D\uDE00";
            controls = "\a\b\f\v\r";
            other = "\q\U";
            path = /usr/local/bin:x.y_z$;
            data = <0fbd 7791 >;
            empty = <>;
            list = ( a, "b c", ( ), { }, );
            "quoted key" = value;
        }
    )");
    EXPECT_EQ(result.format, PropertyListFormat::openStep);
    // A number is a string in this form; "\0" is kept inside the text.
    const char expected[] =
        "{number=\"12\";real=\"-1.5e3\";quoted=\"tab\there \"q\" back\\slash\nnew line\";"
        "single=\"say \"hi\"\";octal=\"A0\0\";unicode=\"caf\u00e9 \u00fc \U0001F600\";"
        "controls=\"\a\b\f\v\r\";other=\"qU\";path=\"/usr/local/bin:x.y_z$\";"
        "data=<0fbd7791>;empty=<>;list=(\"a\",\"b c\",(),{});quoted key=\"value\";}";
    EXPECT_EQ(describe(result), QString::fromUtf8(expected, sizeof expected - 1));
}

TEST(PropertyListReader, readsAnOpenStepDictionaryBodyWithoutBraces) {
    EXPECT_EQ(describe(read("title = \"Hello\";\n\"x\" = ( 1 );")), "{title=\"Hello\";x=(\"1\");}");
    EXPECT_EQ(describe(read("  single  ")), "\"single\"");
}

// ---------------------------------------------------------------------------------------
// What is no property list.

TEST(PropertyListReader, reportsBytesThatAreNoPropertyListWithTheFormatMessage) {
    expectFormatError("", "empty input");
    expectFormatError(" \n\t", "white space only");
    expectFormatError("// only a comment\n", "comment only");
    expectFormatError(R"({"Layers": [1, 2]})", "JSON object");
    expectFormatError("[1, 2]", "JSON array");
    expectFormatError("<plist><dict><key>a</key><string>b</string>", "truncated XML");
    expectFormatError("<plist><dict><key>a</key><strin", "XML cut inside a tag");
    expectFormatError("<plist><array><foo/></array></plist>", "unknown XML element");
    expectFormatError("<plist><string>a &bogus; b</string></plist>", "unknown XML entity");
    expectFormatError("<html><body>not a plist</body></html>", "HTML");
    expectFormatError("bplist00", "binary magic only");
    expectFormatError(QByteArray("bplist00") + QByteArray(40, '\xff'), "binary garbage");
    expectFormatError("{ a = b }", "missing semicolon");
    expectFormatError("{ a = \"open", "unterminated string");
    expectFormatError("{ a = b; /* open", "unterminated comment");
    expectFormatError("( <0fb> )", "odd hex digits");
    expectFormatError("( <0fzz> )", "bad hex digit");
    expectFormatError("( a b )", "missing comma");
    expectFormatError("{ a = b; } trailing", "text after the value");
    expectFormatError("( a, ) )", "unbalanced");
    expectFormatError("{ ( a ) = b; }", "array as key");
    expectFormatError(QByteArray("{ a = b\0; }", 11), "NUL outside a string");

    // Random bytes: the same seed each run, so a failure can be reproduced.
    QRandomGenerator random(20240611);
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes(int(random.bounded(1, 64)), '\0');
        for (char& byte : bytes) {
            byte = char(random.bounded(256));
        }
        if (bytes.front() == '{' || bytes.front() == '(') {
            bytes.front() = '\x01';
        }
        const PropertyListReadResult result = read(bytes);
        if (!result.succeeded()) {
            EXPECT_EQ(result.errorDescription, kFormatError);
        }
    }
}

TEST(PropertyListReader, rejectsEveryTruncationOfABinaryDocument) {
    const QByteArray whole = drawingBinary();
    ASSERT_TRUE(read(whole).succeeded());
    // Shorter than the magic, a prefix such as "bplis" is an OpenStep string.
    for (qsizetype length = 8; length < whole.size(); ++length) {
        expectFormatError(whole.left(length), "truncated binary");
    }
}

TEST(PropertyListReader, rejectsBinaryDocumentsWithBrokenStructure) {
    {
        BinaryWriter writer;
        const int root = writer.array({});
        writer.setReferences(root, {root});
        QByteArray bytes = writer.finish(root);
        bytes[8] = char(0xA1);  // the array now holds itself
        expectFormatError(bytes, "a cycle");
    }
    {
        BinaryWriter writer;
        const int root = writer.dictionary({{writer.integer(1), writer.string("v")}});
        expectFormatError(writer.finish(root), "a key that is no string");
    }
    {
        BinaryWriter writer;
        const int root = writer.array({writer.string("x")});
        writer.setReferences(root, {99});
        expectFormatError(writer.finish(root), "a reference out of range");
    }
    {
        BinaryWriter writer;
        const int root = writer.raw(QByteArray("\x5F\x13", 2) + BinaryWriter::bigEndian(1e12, 8));
        expectFormatError(writer.finish(root), "a string longer than the data");
    }
    {
        BinaryWriter writer;
        const int root = writer.raw(QByteArray("\xC1\x00", 2));
        expectFormatError(writer.finish(root), "a set");
    }
    for (char marker : {'\x00', '\x0F'}) {
        BinaryWriter writer;
        const int root = writer.array({writer.raw(QByteArray(1, marker))});
        expectFormatError(writer.finish(root), "a null or fill object");
    }
}

TEST(PropertyListReader, rejectsBinaryDocumentsThatShareContainersExponentially) {
    // Each level refers twice to the one below: 2^40 values written out.
    BinaryWriter writer;
    int below = writer.string("leaf");
    for (int level = 0; level < 40; ++level) {
        below = writer.array({below, below});
    }
    expectFormatError(writer.finish(below), "shared containers");
}

// ---------------------------------------------------------------------------------------
// Nesting deeper than the limit.

/// The level (root = 1) at which following the first element of arrays and the "child"
/// entry of dictionaries reaches the truncation marker; 0 when it reaches none.
int truncationLevel(const PropertyListValue& root) {
    const PropertyListValue* value = &root;
    for (int level = 1; value; ++level) {
        if (value->isTruncated()) {
            return level;
        }
        if (const PropertyListArray* elements = value->asArray()) {
            value = elements->empty() ? nullptr : &elements->front();
        } else {
            value = value->find(u"child");
        }
    }
    return 0;
}

int truncationLevel(const PropertyListReadResult& result) {
    return result.value ? truncationLevel(*result.value) : -1;
}

QByteArray nestedXmlArrays(int levels, const QByteArray& bottom = "<string>bottom</string>") {
    return "<plist>" + QByteArray("<array>").repeated(levels) + bottom +
           QByteArray("</array>").repeated(levels) + "</plist>";
}

QByteArray nestedOpenStepArrays(int levels) {
    return QByteArray("(").repeated(levels) + "bottom" + QByteArray(")").repeated(levels);
}

QByteArray nestedBinaryArrays(int levels) {
    BinaryWriter writer;
    int inner = writer.array({writer.string("bottom")});
    for (int level = 1; level < levels; ++level) {
        inner = writer.array({inner});
    }
    return writer.finish(inner);
}

// Every level is a dictionary with an entry before the deeper one and one after it, so
// that cutting the too-deep part must keep the entries around it.
QByteArray layeredXml(int levels) {
    QByteArray text = "<plist>";
    for (int level = 1; level <= levels; ++level) {
        text += "<dict><key>before</key><integer>" + QByteArray::number(level) +
                "</integer><key>child</key>";
    }
    text += "<string>bottom</string>";
    for (int level = levels; level >= 1; --level) {
        text += "<key>after</key><array><true/><real>0.5</real></array></dict>";
    }
    return text + "</plist>";
}

QByteArray layeredOpenStep(int levels) {
    QByteArray text;
    for (int level = 1; level <= levels; ++level) {
        text += "{ before = " + QByteArray::number(level) + "; child = ";
    }
    text += "bottom;";
    for (int level = levels; level >= 1; --level) {
        text += " after = ( yes, 0.5 ); };";
    }
    text.chop(1);
    return text;
}

QByteArray layeredBinary(int levels) {
    BinaryWriter writer;
    const int before = writer.string("before");
    const int child = writer.string("child");
    const int after = writer.string("after");
    const int afterValue = writer.array({writer.boolean(true), writer.real(0.5)});
    int inner = writer.string("bottom");
    for (int level = levels; level >= 1; --level) {
        inner = writer.dictionary(
            {{before, writer.integer(level)}, {child, inner}, {after, afterValue}});
    }
    return writer.finish(inner);
}

TEST(PropertyListReader, keepsContainersDownToTheLimitAndCutsTheNextInEveryForm) {
    for (const int levels : {kMaxNestingDepth, kMaxNestingDepth + 1}) {
        const bool cut = levels > kMaxNestingDepth;
        for (const QByteArray& bytes :
             {nestedXmlArrays(levels), nestedOpenStepArrays(levels), nestedBinaryArrays(levels)}) {
            const PropertyListReadResult result = read(bytes);
            const std::string form =
                formatName(result.format).toStdString() + " " + std::to_string(levels);
            ASSERT_TRUE(result.succeeded()) << form;
            EXPECT_EQ(truncationLevel(result), cut ? levels : 0) << form;
            // The string inside the deepest container stays exactly when that container does.
            EXPECT_EQ(describe(result).contains(u"\"bottom\""), !cut) << form;
        }
    }
}

TEST(PropertyListReader, keepsTheEntriesAroundTheTruncatedPartAlikeInEveryForm) {
    const int levels = kMaxNestingDepth + 40;
    const PropertyListReadResult xml = read(layeredXml(levels));
    const PropertyListReadResult binary = read(layeredBinary(levels));
    ASSERT_TRUE(xml.succeeded());
    EXPECT_EQ(truncationLevel(xml), kMaxNestingDepth + 1);
    EXPECT_EQ(describe(binary), describe(xml));

    // The deepest kept dictionaries keep their entries before and after the cut; the
    // array after the cut at the last level stands beyond the limit too.
    const PropertyListValue* value = &*xml.value;
    for (int level = 1; level < kMaxNestingDepth - 1; ++level) {
        value = value->find(u"child");
        ASSERT_TRUE(value);
    }
    EXPECT_EQ(describe(*value),
              "{before=i255;child={before=i256;child=TRUNCATED;after=TRUNCATED;};"
              "after=(true,r0.5);}");

    // OpenStep has strings only; its shape is the same.
    const PropertyListReadResult openStep = read(layeredOpenStep(levels));
    QString expected = describe(xml);
    expected.replace(QRegularExpression(QStringLiteral("i(\\d+)")), QStringLiteral("\"\\1\""));
    expected.replace(QStringLiteral("(true,r0.5)"), QStringLiteral("(\"yes\",\"0.5\")"));
    EXPECT_EQ(describe(openStep), expected);
}

TEST(PropertyListReader, decodesTypedBinaryValuesAlikeWithinAndBeyondTheNestingLimit) {
    // Deeper than the limit, binary documents are decoded by our own reader; within it, by
    // libplist. Both must give these values.
    auto document = [](int chain) {
        BinaryWriter writer;
        int inner = writer.array({});
        for (int level = 1; level < chain; ++level) {
            inner = writer.array({inner});
        }
        const int root = writer.dictionary({
            {writer.string("byte"), writer.integer(200, 1)},
            {writer.string("short"), writer.integer(40000, 2)},
            {writer.string("word"), writer.integer(4000000000, 4)},
            {writer.string("negative"), writer.integer(-42, 8)},
            {writer.string("real"), writer.real(-125)},
            {writer.string("single"), writer.real32(0.25f)},
            {writer.string("yes"), writer.boolean(true)},
            {writer.string("no"), writer.boolean(false)},
            {writer.string("date"), writer.date(-1.5)},
            {writer.string("data"), writer.data("\x01\x02")},
            {writer.string("ascii"), writer.string("a\xff"
                                                   "b")},
            {writer.string("nul"), writer.string(QByteArray("a\0b", 3))},
            {writer.utf16(QStringLiteral("\u00e9")), writer.utf16(QStringLiteral("\U0001F600"))},
            {writer.string("uid"), writer.raw(QByteArray("\x81\x01\x02", 3))},
            {writer.string("chain"), inner},
        });
        return writer.finish(root);
    };
    const PropertyListReadResult shallow = read(document(kMaxNestingDepth - 1));
    const PropertyListReadResult deep = read(document(kMaxNestingDepth + 5));
    ASSERT_TRUE(shallow.succeeded());
    ASSERT_TRUE(deep.succeeded());
    const QString prefix = describe(shallow).section(QStringLiteral("chain="), 0, 0);
    EXPECT_EQ(describe(deep).section(QStringLiteral("chain="), 0, 0), prefix);
    EXPECT_EQ(prefix,
              "{byte=i200;short=i40000;word=i4000000000;negative=i-42;real=r-125;single=r0.25;"
              "yes=true;no=false;date=date-1.5;data=<0102>;"
              "ascii=\"a\ufffdb\";nul=\"a\";\u00e9=\"\U0001F600\";uid=none;");
}

TEST(PropertyListReader, ignoresMarkupInsideCommentsAndTextWhenMeasuringXmlDepth) {
    // 250 real levels; the comment, the CDATA section, the DOCTYPE and the processing
    // instruction each mention twenty more arrays, which must not count.
    const QByteArray twenty = QByteArray("<array>").repeated(20);
    const QByteArray bottom = "<!-- " + twenty + " --><string><![CDATA[" + twenty +
                              "]]></string><string>a<!--" + twenty + "-->b</string>";
    const QByteArray text = "<?xml version=\"1.0\"?><?note \"" + twenty + "?>\"?>" +
                            "<!DOCTYPE plist [ <!ENTITY e \"" + twenty + "]>\"> ]>" +
                            nestedXmlArrays(250, bottom);
    const PropertyListReadResult result = read(text);
    ASSERT_TRUE(result.succeeded()) << qPrintable(describe(result));
    EXPECT_EQ(truncationLevel(result), 0);
    EXPECT_TRUE(describe(result).contains(u"\"ab\""));
}

TEST(PropertyListReader, readsXmlTagNamesAsCStringsAsLibplistDoes) {
    // libplist copies a tag name as a C string, so "<array\0x>" is an array to it; the
    // depth scan must count it too.
    const int levels = kMaxNestingDepth + 20;
    const QByteArray open("<array\0x>", 9);
    const QByteArray text = "<plist>" + open.repeated(levels) +
                            QByteArray("<string\0y>b</string\0y>", 22) +
                            QByteArray("</array>").repeated(levels) + "</plist>";
    EXPECT_EQ(truncationLevel(read(text)), kMaxNestingDepth + 1);
}

TEST(PropertyListReader, reportsMalformedContentBeyondTheLimit) {
    const int levels = kMaxNestingDepth + 30;
    expectFormatError(nestedXmlArrays(levels, "<unknown/>"), "unknown XML element deep down");
    expectFormatError(nestedXmlArrays(levels, "<string>open"), "open XML string deep down");
    expectFormatError("<plist>" + QByteArray("<array>").repeated(levels) +
                          QByteArray("</array>").repeated(levels - 1) + "</dict></plist>",
                      "mismatched XML end tag deep down");
    expectFormatError("<plist>" + QByteArray("<array>").repeated(levels), "unclosed XML");
    expectFormatError(QByteArray("(").repeated(levels) + "a b" + QByteArray(")").repeated(levels),
                      "OpenStep syntax error deep down");
    expectFormatError(QByteArray("(").repeated(levels) + QByteArray(")").repeated(levels - 1),
                      "unclosed OpenStep");
    expectFormatError(QByteArray("(").repeated(levels) + QByteArray("}").repeated(levels),
                      "mismatched OpenStep brackets");
}

// One million levels in a few megabytes, read on the kinds of threads the program uses.
void expectExtremeNestingIsTruncated(const std::function<void(std::function<void()>)>& runOn) {
    const int levels = 1'000'000;
    struct Case {
        QByteArray bytes;
        PropertyListFormat format;
    };
    const Case cases[] = {{nestedXmlArrays(levels), PropertyListFormat::xml},
                          {nestedBinaryArrays(levels), PropertyListFormat::binary},
                          {nestedOpenStepArrays(levels), PropertyListFormat::openStep}};
    for (const Case& deep : cases) {
        ASSERT_LT(deep.bytes.size(), 20'000'000);
        PropertyListReadResult result;
        runOn([&] { result = read(deep.bytes); });
        EXPECT_EQ(result.format, deep.format);
        EXPECT_EQ(truncationLevel(result), kMaxNestingDepth + 1)
            << formatName(deep.format).toStdString();
    }
}

TEST(PropertyListReader, survivesExtremeNestingOnWorkerAndThreadPoolThreads) {
    expectExtremeNestingIsTruncated([](const std::function<void()>& work) {
        std::thread worker(work);
        worker.join();
    });
    expectExtremeNestingIsTruncated([](const std::function<void()>& work) {
        QThreadPool pool;
        pool.start(work);
        pool.waitForDone();
    });
}

TEST(PropertyListReader, survivesExtremeNestingOfXmlDictionaries) {
    const int levels = 300'000;
    const QByteArray text = "<plist>" + QByteArray("<dict><key>child</key>").repeated(levels) +
                            "<true/>" + QByteArray("</dict>").repeated(levels) + "</plist>";
    PropertyListReadResult result;
    std::thread worker([&] { result = read(text); });
    worker.join();
    EXPECT_EQ(truncationLevel(result), kMaxNestingDepth + 1);
}

TEST(PropertyListReader, freesDeepLibplistTreesWithoutRecursion) {
    // The safety net for a libplist tree that went deeper than the XML scan expected.
    bool freed = false;
    std::thread worker([&] {
        plist_t root = plist_new_array();
        plist_t node = root;
        for (int level = 0; level < 400'000; ++level) {
            plist_t child = level % 2 ? plist_new_array() : plist_new_dict();
            if (plist_get_node_type(node) == PLIST_ARRAY) {
                plist_array_append_item(node, plist_new_string("sibling"));
                plist_array_append_item(node, child);
            } else {
                plist_dict_set_item(node, "sibling", plist_new_bool(1));
                plist_dict_set_item(node, "child", child);
            }
            node = child;
        }
        detail::freePlistWithoutRecursion(root);
        freed = true;
    });
    worker.join();
    EXPECT_TRUE(freed);
}

// ---------------------------------------------------------------------------------------
// Strings that are not clean text.

TEST(PropertyListReader, readsInvalidUtf8AndControlCharactersWithoutHarm) {
    const QString expected = QStringLiteral("a\ufffd\ufffdb\u0001\u001f\tc");
    const QByteArray raw =
        "a\xff\xfe"
        "b\x01\x1f\tc";
    EXPECT_EQ(describe(read("<plist><string>" + raw + "</string></plist>")),
              u'"' + expected + u'"');
    EXPECT_EQ(describe(read("( \"" + raw + "\" )")), "(\"" + expected + "\")");
    BinaryWriter writer;
    EXPECT_EQ(describe(read(writer.finish(writer.string(raw)))), u'"' + expected + u'"');

    // A lone surrogate in a UTF-16 string, and a truncated UTF-8 sequence in a key.
    BinaryWriter lone;
    const int root =
        lone.dictionary({{lone.string("k\xe2\x82"), lone.utf16(QString(QChar(0xD800)))}});
    const PropertyListReadResult result = read(lone.finish(root));
    ASSERT_TRUE(result.succeeded());
    const QString key = result.value->asDictionary()->front().first;
    EXPECT_TRUE(key.startsWith(u'k') && key.contains(QChar::ReplacementCharacter));

    // libplist 2.2 aborts on a binary key holding a NUL; such keys end at the NUL instead.
    BinaryWriter nul;
    const int keys = nul.dictionary({{nul.string(QByteArray("a\0b", 3)), nul.integer(1)},
                                     {nul.utf16(QString::fromUtf16(u"c\0d", 3)), nul.integer(2)}});
    EXPECT_EQ(describe(read(nul.finish(keys))), "{a=i1;c=i2;}");
}

}  // namespace
}  // namespace keelwick
