// The per-drawing log of labelled facts, its file facts, failure records and the
// environment lines that open a report; and the time stamp format they share.

#include "pipeline/AppIdentity.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/InternetDateTime.h"
#include "support/FilePermissions.h"
#include "support/Files.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>
#include <ctime>

namespace keelwick {
namespace {

// Sets the process's time zone for one test; POSIX zone texts need no zone database.
class TimeZone {
  public:
    explicit TimeZone(const char* zone)
        : previous_(qgetenv("TZ")), hadZone_(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZone() {
        if (hadZone_) {
            qputenv("TZ", previous_);
        } else {
            qunsetenv("TZ");
        }
        tzset();
    }

  private:
    QByteArray previous_;
    bool hadZone_;
};

using testing::writeFile;

TEST(InternetDateTime, HasSecondsAndTheZoneOffsetButNoFractions) {
    const QDateTime moment(QDate(2024, 3, 5), QTime(14, 7, 9, 999), Qt::UTC);
    for (const auto& [zoneText, expected] : {std::pair{"UTC0", "2024-03-05T14:07:09Z"},
                                             {"IST-5:30", "2024-03-05T19:37:09+05:30"},
                                             {"EST5", "2024-03-05T09:07:09-05:00"}}) {
        const TimeZone zone(zoneText);
        EXPECT_EQ(internetDateTime(moment), expected);
    }
    const TimeZone zone("EST5");
    EXPECT_EQ(internetDateTime(QDateTime(QDate(999, 1, 2), QTime(3, 4, 5), Qt::UTC)),
              "0999-01-01T22:04:05-05:00");
}

TEST(DiagnosticsLogAdd, PutsEachFactOnItsOwnLineAndIndentsTheLinesThatContinueIt) {
    const struct {
        std::optional<QString> value;
        QStringList lines;
    } cases[] = {
        {QStringLiteral("3"), {"note: 3"}},
        {QString(), {}},
        {QStringLiteral(""), {}},
        {std::nullopt, {}},
        {QStringLiteral("first\n\nthird"), {"note: first", "  ", "  third"}},
        {QStringLiteral("only line\n"), {"note: only line", "  "}},
        {QStringLiteral("a\rb"), {"note: a\rb"}},  // only line feeds split a value
    };
    for (const auto& [value, lines] : cases) {
        DiagnosticsLog log;
        log.add(QStringLiteral("note"), value);
        EXPECT_EQ(log.lines, lines) << value.value_or("(absent)").toStdString();
    }
    DiagnosticsLog log;
    log.add(QStringLiteral("attempted"), QStringLiteral("2024-03-05T14:07:09Z"));
    log.add(QStringLiteral("layers"), QStringLiteral("3"));
    EXPECT_EQ(log.lines, QStringList({"attempted: 2024-03-05T14:07:09Z", "layers: 3"}));
}

TEST(DiagnosticsLogFileFacts, AMissingFileIsNotReachableAndNothingMore) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("gone.idraw"));
    DiagnosticsLog log;
    log.addFileFacts(QStringLiteral("source"), path);
    EXPECT_EQ(log.lines,
              QStringList({"source: " + path,
                           "source state: not reachable (missing, or outside the granted "
                           "sandbox scope)"}));
}

TEST(DiagnosticsLogFileFacts, AFileHasSizeModificationTimeAndReadability) {
    TimeZone zone("IST-5:30");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("drawing.idraw"));
    writeFile(path, "12345");
    const QDateTime modified(QDate(2023, 11, 2), QTime(8, 30, 15), Qt::UTC);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    DiagnosticsLog log;
    log.addFileFacts(QStringLiteral("source"), path);
    EXPECT_EQ(log.lines,
              QStringList({"source: " + path,
                           "source state: 5 bytes, modified 2023-11-02T14:00:15+05:30, readable"}));
}

TEST(DiagnosticsLogFileFacts, AFolderHasNoSizePart) {
    QTemporaryDir folder;
    DiagnosticsLog log;
    log.addFileFacts(QStringLiteral("destination"), folder.path());
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^destination state: modified \\d{4}-\\d\\d-\\d\\dT\\d\\d:"
                                   "\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d), readable$"))
                    .match(log.lines[1])
                    .hasMatch())
        << log.lines[1].toStdString();
}

TEST(DiagnosticsLogFileFacts, SaysWhenAFileCannotBeRead) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("locked.idraw"));
    writeFile(path, "123");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    DiagnosticsLog log;
    ASSERT_TRUE(
        testing::runWithFilePermissions([&] { log.addFileFacts(QStringLiteral("source"), path); }));
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(log.lines[1].startsWith(QStringLiteral("source state: 3 bytes, modified ")));
    EXPECT_TRUE(log.lines[1].endsWith(QStringLiteral(", NOT readable")));
}

TEST(DiagnosticsLogRecord, APlatformErrorAddsEveryDetailInOrder) {
    PipelineError error;
    error.typeName = QStringLiteral("FileError");
    error.domain = QStringLiteral("NSCocoaErrorDomain");
    error.code = 513;
    error.description = QStringLiteral("You don't have permission.");
    error.failureReason = QStringLiteral("The folder is read-only.");
    error.recoverySuggestion = QStringLiteral("Choose another folder.");
    error.underlyingError = UnderlyingError{QStringLiteral("NSPOSIXErrorDomain"), 13,
                                            QStringLiteral("Permission denied\nwhile writing")};
    error.path = QStringLiteral("/out/drawing.png");

    DiagnosticsLog log;
    log.add(QStringLiteral("attempted"), QStringLiteral("2024-03-05T14:07:09Z"));
    log.record(error, QStringLiteral("writing the PNG preview image"));
    EXPECT_EQ(log.lines, QStringList({
                             "attempted: 2024-03-05T14:07:09Z",
                             "failed stage: writing the PNG preview image",
                             "error type: FileError",
                             "error message: You don't have permission.",
                             "error domain/code: NSCocoaErrorDomain / 513",
                             "failure reason: The folder is read-only.",
                             "recovery suggestion: Choose another folder.",
                             "underlying error: NSPOSIXErrorDomain / 13: Permission denied",
                             "  while writing",
                             "error path: /out/drawing.png",
                         }));
}

TEST(DiagnosticsLogRecord, LeavesOutWhatTheErrorDoesNotKnow) {
    PipelineError error = PipelineError::propertyListRead(QStringLiteral("Unexpected end."));
    error.path = QStringLiteral("/work/data.xml");
    DiagnosticsLog log;
    log.record(error, QStringLiteral("parsing the document"));
    EXPECT_EQ(log.lines,
              QStringList({"failed stage: parsing the document",
                           "error type: PropertyListReadError", "error message: Unexpected end.",
                           "error domain/code: NSCocoaErrorDomain / 3840",
                           "error path: /work/data.xml"}));
}

TEST(DiagnosticsLogEnvironment, GivesFourLinesAboutTimeAppSystemAndMachine) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const QStringList lines = DiagnosticsLog::environmentLines();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    ASSERT_EQ(lines.size(), 4);

    ASSERT_TRUE(lines[0].startsWith(QStringLiteral("Generated: ")));
    const QDateTime generated = QDateTime::fromString(lines[0].sliced(11), Qt::ISODate);
    EXPECT_TRUE(generated.isValid()) << lines[0].toStdString();
    EXPECT_GE(generated, before.addMSecs(-before.time().msec()));
    EXPECT_LE(generated, after);

    EXPECT_EQ(lines[1], QStringLiteral("App: Keelwick ") + AppIdentity::versionString());
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("System: ")));
    EXPECT_GT(lines[2].size(), 8);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Machine: .+, [1-9]\\d* cores, \\d+ GB RAM$"))
                    .match(lines[3])
                    .hasMatch())
        << lines[3].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Machine: ") +
                                    DiagnosticsLog::machineDescription() + u','));
}

TEST(DiagnosticsLogMachine, NamesVendorAndProductOrSaysUnknown) {
    QTemporaryDir missing;
    EXPECT_EQ(DiagnosticsLog::machineDescription(missing.filePath(QStringLiteral("none"))),
              "unknown");

    const struct {
        QByteArray product;
        std::optional<QByteArray> vendor;
        const char* expected;
    } cases[] = {
        {"", "LENOVO\n", "unknown"},
        {QByteArray("Standard PC\0garbage\n", 20), std::nullopt, "Standard PC"},
        {"ThinkPad X1 Carbon\n", "LENOVO\n", "LENOVO ThinkPad X1 Carbon"},
        // A product name that already begins with the vendor is not doubled.
        {"Dell Precision 5570\n", "Dell\n", "Dell Precision 5570"},
    };
    for (const auto& [product, vendor, expected] : cases) {
        QTemporaryDir folder;
        writeFile(folder.filePath(QStringLiteral("product_name")), product);
        if (vendor) {
            writeFile(folder.filePath(QStringLiteral("sys_vendor")), *vendor);
        }
        EXPECT_EQ(DiagnosticsLog::machineDescription(folder.path()), expected);
    }
}

}  // namespace
}  // namespace keelwick
