#include "pipeline/DevToolsPipe.h"
#include "pipeline/PipelineError.h"
#include "pipeline/RescueError.h"
#include "pipeline/SVGPreviewImageRenderer.h"
#include "pipeline/WebEngineError.h"
#include "support/QtPrinting.h"
#include "support/TemporaryFolderScope.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <latch>
#include <map>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keelwick {
namespace {

using Renderer = SVGPreviewImageRenderer;
using namespace std::chrono_literals;

QString svgOfSize(const QString& startTagAttributes, const QString& content = QString()) {
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" ") + startTagAttributes +
           u'>' + content + QStringLiteral("</svg>");
}

QImage decodedPNG(const Outcome<QByteArray>& outcome) {
    if (const auto* failed = std::get_if<PipelineError>(&outcome)) {
        ADD_FAILURE() << "render failed: " << failed->description.toStdString();
        return QImage();
    }
    const QByteArray& png = std::get<QByteArray>(outcome);
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    return QImage::fromData(png, "PNG");
}

PipelineError renderError(const Outcome<QByteArray>& outcome) {
    if (const auto* failed = std::get_if<PipelineError>(&outcome)) {
        return *failed;
    }
    ADD_FAILURE() << "the render should have failed";
    return PipelineError();
}

/// The colour at (x, y) as "r,g,b,a", so that a failure shows the whole pixel.
std::string colourAt(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return std::to_string(qRed(pixel)) + ',' + std::to_string(qGreen(pixel)) + ',' +
           std::to_string(qBlue(pixel)) + ',' + std::to_string(qAlpha(pixel));
}

bool isAllWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgba(255, 255, 255, 255)) {
                return false;
            }
        }
    }
    return true;
}

/// A temporary folder of the test's own, with a run folder of its own. The shared renderer's
/// browser works in the run folder being replaced (and would make it again): it is ended first.
class RendererTemporaryFolder {
  public:
    RendererTemporaryFolder() {
        Renderer::shared().setBrowserExecutable({});
        scope_ = std::make_unique<testing::TemporaryFolderScope>();
    }
    QString path() const { return scope_->path(); }
    QStringList leftovers() const { return scope_->leftovers(); }

  private:
    std::unique_ptr<testing::TemporaryFolderScope> scope_;
};

/// Waits until the process has ended (a zombie or gone); false when it did not within 5 s.
bool awaitProcessEnd(qint64 processId) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
        if (!stat.open(QIODevice::ReadOnly)) {
            return true;
        }
        const QByteArray line = stat.readAll();
        const qsizetype afterName = line.lastIndexOf(')');
        if (afterName >= 0 && line.mid(afterName + 2, 1) == "Z") {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The DevTools pipe, against a browser played by the test

/// Both pipes of a DevToolsPipe; the test holds the browser's ends.
class FakeBrowser {
  public:
    FakeBrowser() {
        int requests[2];
        int replies[2];
        EXPECT_EQ(::pipe2(requests, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(replies, O_CLOEXEC), 0);
        reads_ = requests[0];
        writes_ = replies[1];
        pipe = std::make_unique<DevToolsPipe>(requests[1], replies[0]);
    }
    ~FakeBrowser() {
        pipe.reset();
        closeReadEnd();
        closeWriteEnd();
    }
    /// Writes `text` as the browser would; "|" stands for the NUL that ends a message.
    void send(QByteArray text) {
        text.replace('|', '\0');
        EXPECT_EQ(::write(writes_, text.constData(), text.size()), text.size());
    }
    /// What the pipe has sent the browser so far.
    QByteArray received() {
        QByteArray all(4096, '\0');
        const ssize_t count = ::read(reads_, all.data(), all.size());
        all.resize(std::max<ssize_t>(count, 0));
        return all;
    }
    void closeReadEnd() { closeFd(reads_); }
    void closeWriteEnd() { closeFd(writes_); }

    std::unique_ptr<DevToolsPipe> pipe;

  private:
    static void closeFd(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int reads_ = -1;
    int writes_ = -1;
};

using PipeFailure = DevToolsPipe::Failure;

TEST(DevToolsPipe, matchesTheReplyToItsCommandAndHandsOverTheEventsOnTheWay) {
    FakeBrowser browser;
    browser.send(
        "{\"method\":\"Page.lifecycleEvent\",\"params\":{\"name\":\"load\"},"
        "\"sessionId\":\"SESSION\"}|"
        "{\"method\":\"Page.lifecycleEvent\",\"sessionId\":\"OTHER\"}|"
        "{\"id\":7,\"result\":{\"late\":true}}|"
        "{\"id\":1,\"result\":{\"answer\":5}}|");
    QStringList events;
    const auto reply = browser.pipe->call(
        "Page.navigate", {{"url", "about:blank"}}, "SESSION", QDeadlineTimer(2s),
        [&](const QJsonObject& event) { events.append(event.value("method").toString()); });
    ASSERT_TRUE(std::holds_alternative<QJsonObject>(reply));
    EXPECT_EQ(std::get<QJsonObject>(reply), QJsonObject({{"answer", 5}}));
    EXPECT_EQ(events, QStringList{"Page.lifecycleEvent"});

    const QByteArray sent = browser.received();
    ASSERT_TRUE(sent.endsWith('\0'));
    EXPECT_EQ(QJsonDocument::fromJson(sent.chopped(1)).object(),
              QJsonObject({{"id", 1},
                           {"method", "Page.navigate"},
                           {"params", QJsonObject{{"url", "about:blank"}}},
                           {"sessionId", "SESSION"}}));
}

TEST(DevToolsPipe, reportsTheBrowsersErrorsAndRepliesItCannotRead) {
    FakeBrowser browser;
    browser.send("{\"id\":1,\"error\":{\"code\":-32000,\"message\":\"No target\"}}|");
    auto reply = browser.pipe->call("Target.attachToTarget", {}, "", QDeadlineTimer(2s));
    const PipeFailure* failed = errorOf(reply);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, PipeFailure::Kind::commandFailed);
    EXPECT_EQ(failed->code, -32000);
    EXPECT_EQ(failed->message, "No target");

    for (const char* unreadable : {"not json|", "[1,2]|", "{\"id\":4,\"result\":7}|"}) {
        browser.send(unreadable);
        reply = browser.pipe->call("Page.enable", {}, "", QDeadlineTimer(2s));
        ASSERT_TRUE(errorOf(reply)) << unreadable;
        EXPECT_EQ(errorOf(reply)->kind, PipeFailure::Kind::unreadable) << unreadable;
    }
}

TEST(DevToolsPipe, readsAReplyArrivingInPiecesAndGivesUpAtTheDeadline) {
    FakeBrowser browser;
    std::thread slowBrowser([&] {
        for (const char* piece : {"{\"id\":1,\"res", "ult\":{\"done\"", ":true}}|"}) {
            std::this_thread::sleep_for(20ms);
            browser.send(piece);
        }
    });
    const auto reply = browser.pipe->call("Page.captureScreenshot", {}, "", QDeadlineTimer(2s));
    slowBrowser.join();
    ASSERT_TRUE(std::holds_alternative<QJsonObject>(reply));
    EXPECT_TRUE(std::get<QJsonObject>(reply).value("done").toBool());

    // Events without end do not hold the caller past its deadline.
    std::atomic<bool> stop = false;
    std::thread chattyBrowser([&] {
        while (!stop) {
            browser.send("{\"method\":\"Page.frameResized\"}|");
            std::this_thread::sleep_for(5ms);
        }
    });
    QElapsedTimer elapsed;
    elapsed.start();
    const auto waited = browser.pipe->waitForEvent(
        "", [](const QJsonObject&) { return false; }, QDeadlineTimer(200ms));
    const qint64 milliseconds = elapsed.elapsed();
    stop = true;
    chattyBrowser.join();
    ASSERT_TRUE(waited.has_value());
    EXPECT_EQ(waited->kind, PipeFailure::Kind::timedOut);
    EXPECT_GE(milliseconds, 190);
    EXPECT_LT(milliseconds, 1000);
}

TEST(DevToolsPipe, servesSeveralPagesAtOnceAndTimesOutOnlyTheOneNotAnswered) {
    FakeBrowser browser;
    browser.pipe->listen("A");
    browser.pipe->listen("B");
    // Page A waits for a load that never comes; page B's command and load arrive meanwhile,
    // read by whichever of the two is reading.
    std::optional<PipeFailure> stuck;
    std::thread pageA([&] {
        stuck = browser.pipe->waitForEvent(
            "A", [](const QJsonObject&) { return true; }, QDeadlineTimer(500ms));
    });
    std::this_thread::sleep_for(50ms);
    std::thread answering([&] {
        std::this_thread::sleep_for(50ms);
        browser.send(
            "{\"method\":\"Page.lifecycleEvent\",\"sessionId\":\"B\"}|"
            "{\"id\":1,\"result\":{\"page\":\"B\"}}|");
    });
    QElapsedTimer elapsed;
    elapsed.start();
    const auto reply = browser.pipe->call("Page.navigate", {}, "B", QDeadlineTimer(2s));
    answering.join();
    EXPECT_LT(elapsed.elapsed(), 400);
    ASSERT_TRUE(std::holds_alternative<QJsonObject>(reply));
    EXPECT_EQ(std::get<QJsonObject>(reply), QJsonObject({{"page", "B"}}));
    EXPECT_FALSE(browser.pipe->waitForEvent(
        "B", [](const QJsonObject& event) { return event.value("sessionId") == "B"; },
        QDeadlineTimer(0)));
    pageA.join();
    ASSERT_TRUE(stuck.has_value());
    EXPECT_EQ(stuck->kind, PipeFailure::Kind::timedOut);

    // A closed pipe ends every caller's wait at once.
    std::thread pageB([&] {
        const auto failed = browser.pipe->waitForEvent(
            "B", [](const QJsonObject&) { return false; }, QDeadlineTimer(5s));
        EXPECT_EQ(failed ? failed->kind : PipeFailure::Kind::timedOut, PipeFailure::Kind::closed);
    });
    std::this_thread::sleep_for(50ms);
    browser.closeWriteEnd();
    const auto afterEnd = browser.pipe->call("Page.enable", {}, "A", QDeadlineTimer(5s));
    pageB.join();
    ASSERT_TRUE(errorOf(afterEnd));
    EXPECT_EQ(errorOf(afterEnd)->kind, PipeFailure::Kind::closed);
}

TEST(DevToolsPipe, reportsABrowserThatClosedItsPipesWithoutEndingTheProgram) {
    FakeBrowser browser;
    browser.send("{\"id\":1,\"res");
    browser.closeWriteEnd();
    auto reply = browser.pipe->call("Page.enable", {}, "", QDeadlineTimer(2s));
    ASSERT_TRUE(errorOf(reply));
    EXPECT_EQ(errorOf(reply)->kind, PipeFailure::Kind::closed);

    // Writing into a pipe nobody reads raises SIGPIPE, which must not end the program.
    browser.closeReadEnd();
    reply = browser.pipe->call("Page.enable", {}, "", QDeadlineTimer(2s));
    ASSERT_TRUE(errorOf(reply));
    EXPECT_EQ(errorOf(reply)->kind, PipeFailure::Kind::closed);
}

// ---------------------------------------------------------------------------------------
// The page size

TEST(SVGPreviewImageRendererSize, takesWidthAndHeightAndScalesOnlyDownToTheLimit) {
    const QSizeF drawing = Renderer::sourceSize(svgOfSize("width=\"800\" height=\"600\""));
    EXPECT_EQ(drawing, QSizeF(800, 600));
    EXPECT_EQ(Renderer::pageSize(drawing, 1200), QSize(800, 600));

    const QSizeF wide = Renderer::sourceSize(svgOfSize("width=\"2400\" height=\"600\""));
    EXPECT_EQ(Renderer::pageSize(wide, 1200), QSize(1200, 300));

    // Units after the numbers are ignored; the first svg start tag decides.
    EXPECT_EQ(Renderer::sourceSize(QStringLiteral("<?xml?><svg width='210mm' height=\"297mm\">"
                                                  "<svg width=\"5\" height=\"5\"/></svg>")),
              QSizeF(210, 297));
}

TEST(SVGPreviewImageRendererSize, fallsBackToTheViewBoxAndThenTo1200Square) {
    const QSizeF viewBoxSize(300, 150);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 300 150\"")), viewBoxSize);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0,0,300,150\"")), viewBoxSize);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\" 0, 0,\n300\t150 \"")), viewBoxSize);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewbox=\"0 0 300 150\"")), viewBoxSize);
    // Pieces that are no numbers are skipped before the four are counted.
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 x 300 150\"")), viewBoxSize);

    // "100%" reads as 100, but with the height missing the viewBox decides.
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("width=\"100%\" viewBox=\"0 0 300 150\"")),
              viewBoxSize);
    // A zero side is no size.
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("width=\"0\" height=\"600\" viewBox=\"0 0 300 150\"")),
              viewBoxSize);

    const QSizeF fallback(1200, 1200);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("")), fallback);
    EXPECT_EQ(Renderer::sourceSize(QStringLiteral("no markup at all")), fallback);
    EXPECT_EQ(Renderer::sourceSize(QStringLiteral("<svgx width=\"10\" height=\"10\">")), fallback);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 300\"")), fallback);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 300 150 5\"")), fallback);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 0 150\"")), fallback);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 300 -150\"")), fallback);
    EXPECT_EQ(Renderer::sourceSize(svgOfSize("viewBox=\"0 0 inf 150\"")), fallback);
    EXPECT_EQ(Renderer::pageSize(fallback, 1200), QSize(1200, 1200));
}

TEST(SVGPreviewImageRendererSize, roundsHalvesAwayFromZeroAndNeverGoesBelowOnePixel) {
    EXPECT_EQ(Renderer::pageSize(QSizeF(0.4, 0.4), 1200), QSize(1, 1));
    // 5 × 1 at the limit 2.5 is 2.5 × 0.5: 3 × 1, where rounding halves to even would give 2.
    EXPECT_EQ(Renderer::pageSize(QSizeF(5, 1), 2.5), QSize(3, 1));
    EXPECT_EQ(Renderer::pageSize(QSizeF(800.5, 600.49), 1200), QSize(801, 600));
    EXPECT_EQ(Renderer::pageSize(QSizeF(1200, 1200), 0), QSize(1, 1));
}

// ---------------------------------------------------------------------------------------
// Attributes

TEST(SVGPreviewImageRendererAttributes, readTheFirstQuotedValueOfTheName) {
    const QString tag = QStringLiteral("<svg width = '210mm' height=\"50%\" id=\"a\">");
    EXPECT_EQ(Renderer::attribute("width", tag), QStringLiteral("210mm"));
    EXPECT_EQ(Renderer::attribute("height", tag), QStringLiteral("50%"));
    EXPECT_EQ(Renderer::attribute("Width", tag), std::nullopt);
    EXPECT_EQ(Renderer::attribute("viewBox", tag), std::nullopt);
    // The value ends at the first quote of either kind; an empty value is no value.
    EXPECT_EQ(Renderer::attribute("width", QStringLiteral("<svg width=\"5'6\">")),
              QStringLiteral("5"));
    EXPECT_EQ(Renderer::attribute("width", QStringLiteral("<svg width=\"\">")), std::nullopt);
    EXPECT_EQ(Renderer::attribute("width", QStringLiteral("<svg width=5>")), std::nullopt);
}

TEST(SVGPreviewImageRendererAttributes, numericValuesIgnoreWhatFollowsTheNumber) {
    auto number = [](const char* value) {
        return Renderer::numericAttribute(
            "width", QStringLiteral("<svg width=\"") + QString::fromUtf8(value) + "\">");
    };
    EXPECT_EQ(number("210mm"), 210);
    EXPECT_EQ(number("50%"), 50);
    EXPECT_EQ(number("  12.5px \n"), 12.5);
    EXPECT_EQ(number("-3"), -3);
    EXPECT_EQ(number(".5"), 0.5);
    EXPECT_EQ(number("1e3"), 1);
    EXPECT_EQ(number("auto"), std::nullopt);
    EXPECT_EQ(number("1.2.3"), std::nullopt);
    EXPECT_EQ(number("-"), std::nullopt);
    EXPECT_EQ(number("+5"), std::nullopt);
    EXPECT_EQ(Renderer::numericAttribute("height", QStringLiteral("<svg width=\"5\">")),
              std::nullopt);
}

// ---------------------------------------------------------------------------------------
// The page

TEST(SVGPreviewImageRendererPage, holdsTheSVGUnchangedOnAWhitePageOfTheSize) {
    const QString svg = QStringLiteral("<svg>&amp; \"x\"\n</svg>");
    EXPECT_EQ(
        Renderer::htmlDocument(svg, QSize(800, 600)),
        QStringLiteral("<!doctype html>\n"
                       "<html>\n"
                       "<head>\n"
                       "<meta charset=\"utf-8\">\n"
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                       "img-src data:; style-src 'unsafe-inline';\">\n"
                       "<style>\n"
                       "html, body { margin: 0; width: 800px; height: 600px; overflow: hidden; "
                       "background: white; }\n"
                       "svg { display: block; width: 100%; height: 100%; background: white; }\n"
                       "</style>\n"
                       "</head>\n"
                       "<body><svg>&amp; \"x\"\n</svg></body>\n"
                       "</html>"));
}

// ---------------------------------------------------------------------------------------
// Painting over white

TEST(SVGPreviewImageRendererPainting, paintsTransparentAreasWhiteAndKeepsOpaqueOnes) {
    QImage snapshot(4, 2, QImage::Format_ARGB32);
    snapshot.fill(Qt::transparent);
    snapshot.setPixel(0, 0, qRgba(255, 0, 0, 255));
    snapshot.setPixel(1, 0, qRgba(0, 0, 255, 128));

    const auto png = Renderer::whiteBackedPNGData(snapshot, QSizeF(4, 2));
    ASSERT_TRUE(png.has_value());
    const QImage image = QImage::fromData(*png, "PNG");
    ASSERT_EQ(image.size(), QSize(4, 2));
    EXPECT_EQ(colourAt(image, 0, 0), "255,0,0,255");
    EXPECT_EQ(colourAt(image, 1, 0), "127,127,255,255");
    EXPECT_EQ(colourAt(image, 3, 1), "255,255,255,255");
}

TEST(SVGPreviewImageRendererPainting, sizesTheBitmapByRoundingAndStretchesTheImage) {
    QImage red(2, 2, QImage::Format_ARGB32);
    red.fill(Qt::red);

    const QImage tiny = QImage::fromData(*Renderer::whiteBackedPNGData(red, QSizeF(0.4, 0.4)));
    EXPECT_EQ(tiny.size(), QSize(1, 1));
    const QImage stretched = QImage::fromData(*Renderer::whiteBackedPNGData(red, QSizeF(4.5, 3)));
    ASSERT_EQ(stretched.size(), QSize(5, 3));
    EXPECT_EQ(colourAt(stretched, 4, 2), "255,0,0,255");
    // One pixel per point.
    EXPECT_EQ(stretched.dotsPerMeterX(), 2835);

    EXPECT_EQ(Renderer::whiteBackedPNGData(QImage(), QSizeF(10, 10)), std::nullopt);
}

// ---------------------------------------------------------------------------------------
// Rendering through the browser

TEST(SVGPreviewImageRendererPainting, compressesThePixels) {
    // A flat drawing of the kind previews show: shapes and lines on white.
    QImage drawing(600, 400, QImage::Format_ARGB32);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 40; ++i) {
            painter.setPen(QPen(QColor::fromHsv(i * 9, 200, 200), 3));
            painter.drawEllipse(QPointF(300, 200), 10 + i * 6, 5 + i * 4);
        }
    }
    const QByteArray png = *Renderer::whiteBackedPNGData(drawing, QSizeF(600, 400));
    // The first IDAT chunk holds the zlib stream: two header bytes, then the first deflate
    // block, whose type (bits 1 and 2) is 0 when the pixels are only stored.
    const qsizetype idat = png.indexOf("IDAT");
    ASSERT_GT(idat, 0);
    EXPECT_NE((static_cast<unsigned char>(png[idat + 6]) >> 1) & 3, 0);

    QByteArray defaultLevel;
    QBuffer buffer(&defaultLevel);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(67);  // zlib's default level, 6
    ASSERT_TRUE(writer.write(QImage::fromData(png)));
    EXPECT_LE(png.size(), defaultLevel.size() * 3 / 2);
}

TEST(SVGPreviewImageRendererRender, drawsTheSVGAtItsSizeOverWhite) {
    Renderer& renderer = Renderer::shared();
    const QImage drawing = decodedPNG(renderer.render(
        svgOfSize("width=\"800\" height=\"600\"",
                  "<rect x=\"100\" y=\"100\" width=\"200\" height=\"100\" fill=\"red\"/>"),
        1200));
    ASSERT_EQ(drawing.size(), QSize(800, 600));
    EXPECT_EQ(colourAt(drawing, 150, 150), "255,0,0,255");
    EXPECT_EQ(colourAt(drawing, 10, 10), "255,255,255,255");
    EXPECT_EQ(colourAt(drawing, 799, 599), "255,255,255,255");

    // Scaled down: the rectangle lands at half its place and size.
    const QImage wide = decodedPNG(renderer.render(
        svgOfSize("width=\"2400\" height=\"600\" viewBox=\"0 0 2400 600\"",
                  "<rect x=\"2000\" y=\"200\" width=\"200\" height=\"200\" fill=\"blue\"/>"),
        1200));
    ASSERT_EQ(wide.size(), QSize(1200, 300));
    EXPECT_EQ(colourAt(wide, 1050, 150), "0,0,255,255");
    EXPECT_EQ(colourAt(wide, 950, 150), "255,255,255,255");

    const QImage fromViewBox = decodedPNG(renderer.render(
        svgOfSize("viewBox=\"0,0,300,150\"", "<rect width=\"300\" height=\"150\" fill=\"lime\"/>"),
        1200));
    ASSERT_EQ(fromViewBox.size(), QSize(300, 150));
    EXPECT_EQ(colourAt(fromViewBox, 299, 149), "0,255,0,255");

    const QImage tiny = decodedPNG(
        renderer.render(svgOfSize("width=\"0.4\" height=\"0.4\"", "<rect fill=\"none\"/>"), 1200));
    EXPECT_EQ(tiny.size(), QSize(1, 1));
    EXPECT_TRUE(isAllWhite(tiny));
}

TEST(SVGPreviewImageRendererRender, waitsForEmbeddedImagesAlsoInDocumentsTooLargeForAMessage) {
    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(blue.save(&buffer, "PNG"));
    const QString image = QStringLiteral(
                              "<image width=\"20\" height=\"20\" href=\"data:image/png;"
                              "base64,%1\"/>")
                              .arg(QString::fromLatin1(png.toBase64()));
    const QString small = svgOfSize("width=\"40\" height=\"20\"", image);
    // Past 16 million characters the page is no longer handed over in one message.
    const QString large = svgOfSize("width=\"40\" height=\"20\"",
                                    "<!--" + QString(17 * 1024 * 1024, u'x') + "-->" + image);
    for (const QString& svg : {small, large, small}) {
        const QImage page = decodedPNG(Renderer::shared().render(svg, 1200));
        ASSERT_EQ(page.size(), QSize(40, 20));
        EXPECT_EQ(colourAt(page, 10, 10), "0,0,255,255") << svg.size();
        EXPECT_EQ(colourAt(page, 30, 10), "255,255,255,255") << svg.size();
    }
}

TEST(SVGPreviewImageRendererRender, laysOutAnSVGWithoutSizeOnThe1200SquarePage) {
    // With no size the SVG fills the page; a 10 × 10 viewBox would give a 10-pixel page.
    const QImage page = decodedPNG(Renderer::shared().render(
        svgOfSize("preserveAspectRatio=\"none\"",
                  "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"50%\" fill=\"red\"/>"),
        1200));
    ASSERT_EQ(page.size(), QSize(1200, 1200));
    EXPECT_EQ(colourAt(page, 1190, 590), "255,0,0,255");
    EXPECT_EQ(colourAt(page, 1190, 610), "255,255,255,255");
}

TEST(SVGPreviewImageRendererRender, rendersTextThatIsNoDrawingAsItsPage) {
    Renderer& renderer = Renderer::shared();
    for (const QString& text :
         {QString(), QStringLiteral("<svg width=\"40\""),
          QStringLiteral("<svg width=\"40\" height=\"30\"></body></html><p>")}) {
        const QImage preview = decodedPNG(renderer.render(text, 1200));
        EXPECT_FALSE(preview.isNull()) << text.toStdString();
        EXPECT_TRUE(isAllWhite(preview)) << text.toStdString();
    }
    // Plain text is shown as text on the page.
    const QImage words = decodedPNG(renderer.render(QStringLiteral("not a drawing <<< & >"), 1200));
    ASSERT_EQ(words.size(), QSize(1200, 1200));
    EXPECT_FALSE(isAllWhite(words));

    // The page's security policy forbids scripts: this one would paint the page red.
    const QImage scripted = decodedPNG(
        renderer.render(svgOfSize("width=\"40\" height=\"30\"",
                                  "<script>document.documentElement.style.background='red';"
                                  "document.body.innerHTML='';</script>") +
                            QStringLiteral("<script>document.body.style.background='red'</script>"),
                        1200));
    ASSERT_EQ(scripted.size(), QSize(40, 30));
    EXPECT_TRUE(isAllWhite(scripted));
}

TEST(SVGPreviewImageRendererRender, runsRendersRequestedAtOnceEachInItsOwnPage) {
    struct Request {
        QSize size;
        QString colour;
        QRgb expected;
    };
    const std::vector<Request> requests{{QSize(101, 51), "red", qRgb(255, 0, 0)},
                                        {QSize(73, 64), "blue", qRgb(0, 0, 255)},
                                        {QSize(50, 90), "lime", qRgb(0, 255, 0)},
                                        {QSize(120, 40), "black", qRgb(0, 0, 0)}};
    std::vector<Outcome<QByteArray>> outcomes(requests.size());
    std::latch allReady(static_cast<std::ptrdiff_t>(requests.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        threads.emplace_back([&, i] {
            const Request& request = requests[i];
            const QString svg =
                svgOfSize(QStringLiteral("width=\"%1\" height=\"%2\"")
                              .arg(request.size.width())
                              .arg(request.size.height()),
                          QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"%1\"/>")
                              .arg(request.colour));
            allReady.arrive_and_wait();
            outcomes[i] = Renderer::shared().render(svg, 1200);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const QImage image = decodedPNG(outcomes[i]);
        ASSERT_EQ(image.size(), requests[i].size) << requests[i].colour.toStdString();
        const QPoint centre(image.width() / 2, image.height() / 2);
        EXPECT_EQ(image.pixel(centre), requests[i].expected) << requests[i].colour.toStdString();
    }
}

TEST(SVGPreviewImageRendererRender, failsARenderThatNeverEndsAfterTenSecondsAndRecovers) {
    RendererTemporaryFolder temporary;
    Renderer renderer;
    const QString simple =
        svgOfSize("width=\"20\" height=\"20\"", "<rect width=\"20\" height=\"20\" fill=\"red\"/>");
    ASSERT_TRUE(std::holds_alternative<QByteArray>(renderer.render(simple, 1200)));

    // A browser that stops answering (here: stopped) fails the render at its time-out and is
    // replaced by the next render.
    const qint64 stopped = renderer.browserProcessId();
    ASSERT_EQ(::kill(static_cast<pid_t>(stopped), SIGSTOP), 0);
    QElapsedTimer elapsed;
    elapsed.start();
    const PipelineError error = renderError(renderer.render(simple, 1200));
    const qint64 milliseconds = elapsed.elapsed();
    EXPECT_EQ(error, PipelineError::from(RescueError::previewImageRenderingFailed()));
    EXPECT_GE(milliseconds, 10'000);
    EXPECT_LT(milliseconds, 15'000);

    const QImage next = decodedPNG(renderer.render(simple, 1200));
    ASSERT_EQ(next.size(), QSize(20, 20));
    EXPECT_EQ(colourAt(next, 10, 10), "255,0,0,255");
    EXPECT_NE(renderer.browserProcessId(), stopped);
}

TEST(SVGPreviewImageRendererRender, readsNoFileTheSVGNames) {
    // A named pipe nobody writes: a browser that opened it would wait for it until the
    // render's time-out.
    QTemporaryDir folder;
    const QString pipePath = folder.filePath(QStringLiteral("never-written"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipePath).constData(), 0600), 0);
    const QString url = QStringLiteral("url(file://%1)").arg(pipePath);
    const QString hostile = svgOfSize(
        "width=\"20\" height=\"20\"",
        QStringLiteral("<image href=\"file://%1\" width=\"20\" height=\"20\"/>"
                       "<path d=\"M0 0H20V20H0Z\" style=\"fill:red;background-image:%2;"
                       "cursor:%2,auto;-webkit-mask-box-image:%2\"/>"
                       "<foreignObject width=\"20\" height=\"20\"><div xmlns="
                       "\"http://www.w3.org/1999/xhtml\" style=\"width:9px;height:9px;"
                       "background-image:%2\"></div></foreignObject>"
                       "<rect x=\"10\" y=\"10\" width=\"10\" height=\"10\" fill=\"lime\"/>")
            .arg(pipePath, url));

    QElapsedTimer elapsed;
    elapsed.start();
    const QImage page = decodedPNG(Renderer::shared().render(hostile, 1200));
    EXPECT_LT(elapsed.elapsed(), 5'000);
    ASSERT_EQ(page.size(), QSize(20, 20));
    EXPECT_EQ(colourAt(page, 15, 15), "0,255,0,255");
    // Nobody holds the pipe open for reading: opening it to write finds no reader.
    const int writer = ::open(QFile::encodeName(pipePath).constData(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1);
    EXPECT_EQ(errno, ENXIO);
    if (writer >= 0) {
        ::close(writer);
    }
}

TEST(SVGPreviewImageRendererRender, startsAFreshBrowserWhenTheLastOneWasKilled) {
    RendererTemporaryFolder temporary;
    Renderer renderer;
    const QString svg =
        svgOfSize("width=\"30\" height=\"30\"", "<circle cx=\"15\" cy=\"15\" r=\"10\"/>");
    ASSERT_TRUE(std::holds_alternative<QByteArray>(renderer.render(svg, 1200)));
    const qint64 first = renderer.browserProcessId();
    const QString firstProfile = renderer.browserFolder();
    ASSERT_GT(first, 0);
    EXPECT_TRUE(QFileInfo(firstProfile).isDir());

    ASSERT_EQ(::kill(static_cast<pid_t>(first), SIGKILL), 0);
    ASSERT_TRUE(awaitProcessEnd(first));

    const QImage again = decodedPNG(renderer.render(svg, 1200));
    EXPECT_EQ(colourAt(again, 15, 15), "0,0,0,255");
    EXPECT_NE(renderer.browserProcessId(), first);
    EXPECT_FALSE(QFileInfo::exists(firstProfile));
}

/// The CPU time so far of each renderer process of the browser, by process id.
std::map<pid_t, long> rendererTimes(pid_t browser) {
    std::map<pid_t, long> times;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        const pid_t pid = entry.toInt();
        QFile commandLine("/proc/" + entry + "/cmdline");
        QFile stat("/proc/" + entry + "/stat");
        if (pid <= 0 || ::getpgid(pid) != browser || !commandLine.open(QIODevice::ReadOnly) ||
            !commandLine.readAll().contains(QByteArray("--type=renderer\0")) ||
            !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        times[pid] = fields.value(11).toLong() + fields.value(12).toLong();
    }
    return times;
}

TEST(SVGPreviewImageRendererRender, aPageThatStopsAnsweringFailsOnlyItsOwnRender) {
    RendererTemporaryFolder temporary;
    Renderer renderer;
    // Heavy enough that the page's renderer process is seen working.
    QString blurred;
    for (int i = 0; i < 40; ++i) {
        blurred += QStringLiteral(
                       "<circle cx=\"%1\" cy=\"%1\" r=\"300\" fill=\"red\" "
                       "filter=\"url(#blur)\"/>")
                       .arg(100 + i * 25);
    }
    const QString heavy = svgOfSize("width=\"1200\" height=\"1200\"",
                                    "<filter id=\"blur\"><feGaussianBlur stdDeviation=\"40\"/>"
                                    "</filter>" +
                                        blurred);
    auto renderTwoAtOnce = [&](const QString& svg) {
        std::vector<Outcome<QByteArray>> outcomes(2);
        std::latch bothReady(2);
        std::vector<std::thread> threads;
        for (Outcome<QByteArray>& outcome : outcomes) {
            threads.emplace_back([&] {
                bothReady.arrive_and_wait();
                outcome = renderer.render(svg, 1200);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return outcomes;
    };
    for (const Outcome<QByteArray>& outcome : renderTwoAtOnce(heavy)) {
        ASSERT_EQ(decodedPNG(outcome).size(), QSize(1200, 1200));
    }
    const pid_t browser = static_cast<pid_t>(renderer.browserProcessId());
    const std::map<pid_t, long> before = rendererTimes(browser);
    for (const Outcome<QByteArray>& outcome : renderTwoAtOnce(heavy)) {
        ASSERT_EQ(decodedPNG(outcome).size(), QSize(1200, 1200));
    }
    // The renderer that worked most serves one of the two pages.
    pid_t stopped = 0;
    long mostWork = 0;
    for (const auto& [pid, time] : rendererTimes(browser)) {
        const long work = time - (before.count(pid) ? before.at(pid) : 0);
        if (work > mostWork) {
            stopped = pid;
            mostWork = work;
        }
    }
    ASSERT_GT(stopped, 0);
    ASSERT_EQ(::kill(stopped, SIGSTOP), 0);

    const QString small =
        svgOfSize("width=\"60\" height=\"40\"", "<rect width=\"60\" height=\"40\" fill=\"red\"/>");
    int failed = 0;
    for (const Outcome<QByteArray>& outcome : renderTwoAtOnce(small)) {
        if (errorOf(outcome)) {
            ++failed;
            EXPECT_EQ(renderError(outcome),
                      PipelineError::from(RescueError::previewImageRenderingFailed()));
        } else {
            EXPECT_EQ(decodedPNG(outcome).size(), QSize(60, 40));
        }
    }
    EXPECT_EQ(failed, 1);
    // The stuck page is gone; the browser goes on serving with the other.
    EXPECT_EQ(decodedPNG(renderer.render(small, 1200)).size(), QSize(60, 40));
    EXPECT_EQ(renderer.browserProcessId(), browser);
    ::kill(stopped, SIGCONT);
}

TEST(SVGPreviewImageRendererRender, aBrowserKilledDuringParallelRendersIsStartedAgainOnce) {
    RendererTemporaryFolder temporary;
    Renderer renderer;
    const QString svg = svgOfSize("width=\"600\" height=\"400\"",
                                  "<rect width=\"600\" height=\"400\" fill=\"blue\"/>");
    ASSERT_TRUE(std::holds_alternative<QByteArray>(renderer.render(svg, 1200)));
    const qint64 killed = renderer.browserProcessId();

    constexpr int kRenders = 12;
    std::vector<Outcome<QByteArray>> outcomes(kRenders);
    std::vector<std::thread> threads;
    std::latch started(kRenders);
    for (int i = 0; i < kRenders; ++i) {
        threads.emplace_back([&, i] {
            started.count_down();
            outcomes[i] = renderer.render(svg, 1200);
        });
    }
    started.wait();
    ASSERT_EQ(::kill(static_cast<pid_t>(killed), SIGKILL), 0);
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Each render either came out whole or says the browser stopped; the later ones ran
    // in one fresh browser.
    for (const Outcome<QByteArray>& outcome : outcomes) {
        if (const PipelineError* failed = errorOf(outcome)) {
            EXPECT_EQ(*failed, WebEngineError::browserStopped())
                << failed->description.toStdString();
        } else {
            EXPECT_EQ(decodedPNG(outcome).size(), QSize(600, 400));
        }
    }
    const qint64 restarted = renderer.browserProcessId();
    EXPECT_NE(restarted, killed);
    EXPECT_EQ(decodedPNG(renderer.render(svg, 1200)).size(), QSize(600, 400));
    EXPECT_EQ(renderer.browserProcessId(), restarted);
}

TEST(SVGPreviewImageRendererRender, removesTheBrowserProfileWhenTheRendererEnds) {
    RendererTemporaryFolder temporary;
    {
        Renderer renderer;
        ASSERT_TRUE(std::holds_alternative<QByteArray>(
            renderer.render(svgOfSize("width=\"10\" height=\"10\""), 1200)));
        const QFileInfo profile(renderer.browserFolder());
        EXPECT_TRUE(profile.isDir());
        EXPECT_EQ(profile.absolutePath(), RunFolder::path());
        EXPECT_TRUE(profile.fileName().startsWith(QStringLiteral("Keelwick-")));
        // The page files go once their load has ended.
        EXPECT_TRUE(QDir(profile.filePath())
                        .entryList({QStringLiteral("preview-*.html")}, QDir::Files)
                        .isEmpty());
    }
    // Nothing of the browser's is left either, such as its single-instance socket folder.
    EXPECT_EQ(temporary.leftovers(), QStringList());
}

TEST(SVGPreviewImageRendererRender, namesTheMissingBrowserAndWhatToInstall) {
    QTemporaryDir programs;  // made before TMPDIR changes, so it is no leftover
    RendererTemporaryFolder temporary;
    Renderer renderer;
    renderer.setBrowserExecutable(QStringLiteral("/nonexistent/chromium"));
    const PipelineError missing = renderError(renderer.render(svgOfSize(""), 1200));
    EXPECT_EQ(missing.typeName, "WebEngineError");
    EXPECT_EQ(missing.domainAndCode(), "Keelwick.WebEngine / 1");
    EXPECT_EQ(missing.description,
              "The PNG preview needs the Chromium web browser, which is not installed. Install "
              "it with: sudo apt-get install chromium");
    EXPECT_EQ(missing.failureReason,
              QStringLiteral("No Chromium program was found at /nonexistent/chromium."));

    // A program that is no browser ends without answering: it is reported, never waited for.
    const QString notABrowser = QStandardPaths::findExecutable(QStringLiteral("false"));
    ASSERT_FALSE(notABrowser.isEmpty());
    renderer.setBrowserExecutable(notABrowser);
    const PipelineError silent = renderError(renderer.render(svgOfSize(""), 1200));
    EXPECT_EQ(silent.domainAndCode(), "Keelwick.WebEngine / 2");
    EXPECT_EQ(silent.description,
              "The Chromium web browser could not be started to render the PNG preview: it "
              "ended before it answered (exit status 1).");
    EXPECT_EQ(renderer.browserProcessId(), 0);

    // One that aborts is reported by its fatal error, not by what its crash handler wrote after.
    const QString aborting = programs.filePath(QStringLiteral("aborting-browser"));
    QFile script(aborting);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n"
        "echo '[1:1:FATAL:process_singleton_posix.cc:315] Socket path too long' >&2\n"
        "echo '[1:1:ERROR:file_io_posix.cc:145] open cpufreq: No such file' >&2\n"
        "exit 1\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    renderer.setBrowserExecutable(aborting);
    EXPECT_EQ(renderError(renderer.render(svgOfSize(""), 1200)).description,
              "The Chromium web browser could not be started to render the PNG preview: it ended "
              "before it answered (exit status 1): [1:1:FATAL:process_singleton_posix.cc:315] "
              "Socket path too long");
    EXPECT_EQ(temporary.leftovers(), QStringList());
}

}  // namespace
}  // namespace keelwick
