#include "pipeline/SVGPreviewImageRenderer.h"

#include "pipeline/HeadlessBrowser.h"
#include "pipeline/RescueError.h"
#include "pipeline/WebEngineError.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace keelwick {
namespace {

/// A bitmap of one pixel per point: 72 pixels per inch.
constexpr int kPixelsPerMeterAtOnePointEach = 2835;

const QSizeF kDefaultSourceSize(SVGPreviewImageRenderer::defaultSourceSide,
                                SVGPreviewImageRenderer::defaultSourceSide);

/// Unicode-aware \b and \s, as the platform's regular expressions have them.
QRegularExpression unicodePattern(const QString& pattern) {
    return QRegularExpression(pattern, QRegularExpression::UseUnicodePropertiesOption);
}

/// A whole text read as one decimal number in the C locale ("12", "-0.5", "+3", "1e2"); nothing
/// for anything else, and for values that are not finite.
std::optional<double> decimalNumber(QStringView text) {
    QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+')) {
            return std::nullopt;
        }
    }
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

/// One side in whole pixels: rounded, halves away from zero, at least 1.
int wholeSide(double side) {
    const double rounded = std::round(side);
    if (!(rounded >= 1)) {
        return 1;
    }
    return static_cast<int>(std::min(rounded, static_cast<double>(INT_MAX)));
}

}  // namespace

SVGPreviewImageRenderer& SVGPreviewImageRenderer::shared() {
    static SVGPreviewImageRenderer renderer;
    return renderer;
}

SVGPreviewImageRenderer::SVGPreviewImageRenderer() = default;

SVGPreviewImageRenderer::~SVGPreviewImageRenderer() = default;

int SVGPreviewImageRenderer::pageCount() {
    // Each page costs the browser about 45 MB: sixteen keep it within its memory budget on
    // machines of any size.
    constexpr int kMostPages = 16;
    return std::min(kMostPages, 2 * std::max(1, QThread::idealThreadCount()));
}

Outcome<QByteArray> SVGPreviewImageRenderer::render(const QString& svg, double maxDimension) {
    const QSize size = pageSize(sourceSize(svg), maxDimension);
    for (int attempt = 1;; ++attempt) {
        // A browser that ended a moment ago can still look alive until its first request:
        // the render starts over once, with a fresh one.
        auto retries = [&](const PipelineError& failed) {
            return failed == WebEngineError::browserStopped() && attempt == 1;
        };
        Outcome<Lease> leased = lease();
        if (const auto* failed = errorOf(leased)) {
            if (retries(*failed)) {
                continue;
            }
            return *failed;
        }
        Lease& lease = std::get<Lease>(leased);
        if (auto failed =
                lease.browser->resizePage(lease.page, size, QDeadlineTimer(renderTimeout))) {
            release(std::move(lease));
            if (retries(*failed)) {
                continue;
            }
            return *failed;
        }
        Outcome<QByteArray> outcome = renderPage(*lease.browser, lease.page, svg, size);
        release(std::move(lease));
        return outcome;
    }
}

Outcome<SVGPreviewImageRenderer::Lease> SVGPreviewImageRenderer::lease() {
    Lease lease;
    {
        std::unique_lock lock(mutex_);
        pageFreed_.wait(lock, [this] { return busyPages_ < pageCount(); });
        Outcome<std::shared_ptr<HeadlessBrowser>> running = runningBrowser();
        if (const auto* failed = errorOf(running)) {
            return *failed;
        }
        lease.browser = std::get<std::shared_ptr<HeadlessBrowser>>(std::move(running));
        ++busyPages_;
        if (!freePages_.isEmpty()) {
            lease.page = freePages_.takeLast();
            return lease;
        }
    }
    Outcome<HeadlessBrowser::Page> opened = lease.browser->openPage(QDeadlineTimer(renderTimeout));
    if (const auto* failed = errorOf(opened)) {
        lease.page.isReusable = false;
        release(std::move(lease));
        return *failed;
    }
    lease.page = std::get<HeadlessBrowser::Page>(std::move(opened));
    return lease;
}

Outcome<std::shared_ptr<HeadlessBrowser>> SVGPreviewImageRenderer::runningBrowser() {
    if (browser_ && browser_->isReusable() && browser_->isRunning()) {
        return browser_;
    }
    // Renders still in flight on the old browser keep it until they have failed.
    browser_.reset();
    freePages_.clear();
    const auto executable = HeadlessBrowser::findExecutable(browserExecutable_);
    if (!executable) {
        return WebEngineError::browserNotInstalled(
            HeadlessBrowser::searchedPlaces(browserExecutable_));
    }
    auto started = HeadlessBrowser::start(*executable, QDeadlineTimer(browserStartTimeout));
    if (auto* failed = errorOf(started)) {
        return *failed;
    }
    browser_ = std::get<std::unique_ptr<HeadlessBrowser>>(std::move(started));
    return browser_;
}

void SVGPreviewImageRenderer::release(Lease lease) {
    const std::shared_ptr<HeadlessBrowser>& browser = lease.browser;
    HeadlessBrowser::Page& page = lease.page;
    if (!page.isReusable && !page.targetId.isEmpty() && browser->isReusable()) {
        // Its load or snapshot may still be under way: it goes, and only its render failed.
        browser->closePage(page, QDeadlineTimer(pageCloseTimeout));
    }
    const std::lock_guard lock(mutex_);
    --busyPages_;
    if (browser == browser_) {
        if (!browser_->isReusable()) {
            browser_.reset();
            freePages_.clear();
        } else if (page.isReusable && !page.targetId.isEmpty()) {
            freePages_.append(std::move(page));
        }
    }
    pageFreed_.notify_one();
}

Outcome<QByteArray> SVGPreviewImageRenderer::renderPage(HeadlessBrowser& browser,
                                                        HeadlessBrowser::Page& page,
                                                        const QString& svg, QSize size) {
    // The time-out runs from the start of the page load.
    const QDeadlineTimer deadline(renderTimeout);
    if (auto failed = browser.loadPage(page, htmlDocument(svg, size), deadline)) {
        return *failed;
    }
    auto snapshot = browser.captureScreenshot(page, size, deadline);
    if (auto* failed = errorOf(snapshot)) {
        return *failed;
    }
    const QImage image = QImage::fromData(std::get<QByteArray>(snapshot), "PNG");
    if (auto png = whiteBackedPNGData(image, QSizeF(size))) {
        return *png;
    }
    return PipelineError::from(RescueError::previewImageRenderingFailed());
}

QSizeF SVGPreviewImageRenderer::sourceSize(const QString& svg) {
    static const QRegularExpression svgStartTag = unicodePattern(QStringLiteral("<svg\\b[^>]*>"));
    const QRegularExpressionMatch match = svgStartTag.match(svg);
    if (!match.hasMatch()) {
        return kDefaultSourceSize;
    }
    const QString tag = match.captured(0);

    const auto width = numericAttribute(QStringLiteral("width"), tag);
    const auto height = numericAttribute(QStringLiteral("height"), tag);
    if (width && height && *width > 0 && *height > 0) {
        return QSizeF(*width, *height);
    }

    auto viewBox = attribute(QStringLiteral("viewBox"), tag);
    if (!viewBox) {
        viewBox = attribute(QStringLiteral("viewbox"), tag);
    }
    if (!viewBox) {
        return kDefaultSourceSize;
    }
    static const QRegularExpression separators(QStringLiteral("[ ,\\n\\t]"));
    QList<double> numbers;
    for (const QString& piece : viewBox->split(separators, Qt::SkipEmptyParts)) {
        if (const auto number = decimalNumber(piece)) {
            numbers.append(*number);
        }
    }
    if (numbers.size() == 4 && numbers[2] > 0 && numbers[3] > 0) {
        return QSizeF(numbers[2], numbers[3]);
    }
    return kDefaultSourceSize;
}

std::optional<QString> SVGPreviewImageRenderer::attribute(const QString& name, const QString& tag) {
    const QRegularExpression pattern = unicodePattern(
        QStringLiteral("\\b") + name + QStringLiteral("\\s*=\\s*[\"']([^\"']+)[\"']"));
    if (!pattern.isValid() || pattern.captureCount() < 1) {
        return std::nullopt;
    }
    const QRegularExpressionMatch match = pattern.match(tag);
    if (!match.hasMatch() || match.capturedStart(1) < 0) {
        return std::nullopt;
    }
    return match.captured(1);
}

std::optional<double> SVGPreviewImageRenderer::numericAttribute(const QString& name,
                                                                const QString& tag) {
    const auto value = attribute(name, tag);
    if (!value) {
        return std::nullopt;
    }
    const QString trimmed = value->trimmed();
    qsizetype length = 0;
    while (length < trimmed.size() &&
           (trimmed[length].isNumber() || trimmed[length] == u'.' || trimmed[length] == u'-')) {
        ++length;
    }
    return decimalNumber(QStringView(trimmed).left(length));
}

QSize SVGPreviewImageRenderer::pageSize(QSizeF source, double maxDimension) {
    const double longerSide = std::max(source.width(), source.height());
    // Never enlarged: a drawing smaller than the limit keeps its size.
    const double scale = std::min(1.0, maxDimension / longerSide);
    return QSize(wholeSide(source.width() * scale), wholeSide(source.height() * scale));
}

QString SVGPreviewImageRenderer::htmlDocument(const QString& svg, QSize size) {
    const QString width = QString::number(size.width());
    const QString height = QString::number(size.height());
    const QStringList lines{
        QStringLiteral("<!doctype html>"),
        QStringLiteral("<html>"),
        QStringLiteral("<head>"),
        QStringLiteral("<meta charset=\"utf-8\">"),
        // The page may load nothing but the images embedded in it: whatever the SVG's
        // styles or links name (local files, devices, pipes, the network) stays unread.
        QStringLiteral("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
                       "'none'; img-src data:; style-src 'unsafe-inline';\">"),
        QStringLiteral("<style>"),
        QStringLiteral("html, body { margin: 0; width: ") + width + QStringLiteral("px; height: ") +
            height + QStringLiteral("px; overflow: hidden; background: white; }"),
        QStringLiteral("svg { display: block; width: 100%; height: 100%; background: white; }"),
        QStringLiteral("</style>"),
        QStringLiteral("</head>"),
        QStringLiteral("<body>") + svg + QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    };
    return lines.join(u'\n');
}

std::optional<QByteArray> SVGPreviewImageRenderer::whiteBackedPNGData(const QImage& image,
                                                                      QSizeF size) {
    if (image.isNull()) {
        return std::nullopt;
    }
    // Painted over white, the preview is opaque: no alpha channel to encode.
    QImage bitmap(wholeSide(size.width()), wholeSide(size.height()), QImage::Format_RGB32);
    if (bitmap.isNull()) {
        return std::nullopt;
    }
    bitmap.setDotsPerMeterX(kPixelsPerMeterAtOnePointEach);
    bitmap.setDotsPerMeterY(kPixelsPerMeterAtOnePointEach);
    {
        QPainter painter(&bitmap);
        if (!painter.isActive()) {
            return std::nullopt;
        }
        const QRectF whole(0, 0, bitmap.width(), bitmap.height());
        painter.fillRect(whole, Qt::white);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(whole, image);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // zlib's fastest level: previews of flat drawings compress well at any level, and the
    // default one costs more than twice the time for about a fifth less size. Qt takes the
    // level on a scale of 0 to 100 (zlib's level is 9 × value / 100, rounded down), so the
    // value 1 would store the pixels uncompressed.
    constexpr int zlibLevel = 1;
    writer.setCompression((zlibLevel * 100 + 8) / 9);
    if (!writer.write(bitmap)) {
        return std::nullopt;
    }
    return png;
}

void SVGPreviewImageRenderer::setBrowserExecutable(const QString& path) {
    const std::lock_guard lock(mutex_);
    browserExecutable_ = path;
    browser_.reset();
    freePages_.clear();
}

qint64 SVGPreviewImageRenderer::browserProcessId() const {
    const std::lock_guard lock(mutex_);
    return browser_ ? browser_->processId() : 0;
}

QString SVGPreviewImageRenderer::browserFolder() const {
    const std::lock_guard lock(mutex_);
    return browser_ ? browser_->folder() : QString();
}

}  // namespace keelwick
