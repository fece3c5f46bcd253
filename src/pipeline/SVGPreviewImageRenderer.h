#pragma once

#include "pipeline/HeadlessBrowser.h"
#include "pipeline/PipelineError.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace keelwick {

/// Renders a drawing's SVG text to a PNG preview image: the SVG goes into a minimal HTML page
/// sized to the drawing (never enlarged, the longer side at most the given limit), the page is
/// loaded into one reused off-screen web engine, and a snapshot of it is painted over white
/// and encoded as PNG.
///
/// The web engine is headless Chromium (`HeadlessBrowser`), started on the first render and
/// reused for every later one. A browser found dead, or left in an unknown state by a render
/// that timed out or lost its pipe, is ended at once and a fresh one is started by the next
/// render; its folder goes with it. The last browser is ended, and its folder
/// removed, when the renderer is destroyed: for `shared()`, when the program exits.
///
/// Several renders run at once, each in a page of its own of the one browser, up to
/// `pageCount()` pages; a further caller waits until a page is free. The pages are kept
/// between renders. A page whose render timed out is closed and only its render fails; a
/// browser that stopped answering or ended fails the renders in flight, and the next render
/// starts a fresh one for everybody. `render` blocks its caller for up to the time-out (plus
/// the browser's start on the first render): call it from a worker thread, as the rescue of
/// a drawing does. A page that never finishes loading, or whose renderer process dies, ends
/// in the time-out.
class SVGPreviewImageRenderer {
  public:
    /// The PNG bytes, or why there are none.

    /// From the start of the page load to the snapshot's arrival.
    static constexpr std::chrono::milliseconds renderTimeout{10'000};
    /// From starting the browser to its page being ready, on the render that starts it.
    static constexpr std::chrono::milliseconds browserStartTimeout{20'000};
    /// The side of the page of an SVG that gives no size.
    static constexpr double defaultSourceSide = 1200;
    /// How long a page that failed to render gets to close before its browser is taken for
    /// stuck.
    static constexpr std::chrono::milliseconds pageCloseTimeout{2'000};
    /// Pages rendering at once at most: two per core (at most 16) keep Chromium's renderers
    /// and its compositor busy while each page waits for the other's frames.
    static int pageCount();

    /// The one renderer of the program run, created on first use.
    static SVGPreviewImageRenderer& shared();

    SVGPreviewImageRenderer();
    ~SVGPreviewImageRenderer();
    SVGPreviewImageRenderer(const SVGPreviewImageRenderer&) = delete;
    SVGPreviewImageRenderer& operator=(const SVGPreviewImageRenderer&) = delete;

    /// The PNG preview of `svg`, its longer side at most `maxDimension` pixels. Fails with
    /// `previewImageRenderingFailed` when the render does not end within `renderTimeout` or
    /// its snapshot cannot be painted, and with a web-engine error (`WebEngineError`) when the
    /// browser is missing, does not start, stops, or reports a failed load or request.
    Outcome<QByteArray> render(const QString& svg, double maxDimension);

    /// The intrinsic size of `svg`: the width and height of its first `svg` start tag when both
    /// are positive numbers, otherwise the last two of exactly four viewBox numbers when both
    /// are positive, otherwise 1200 × 1200.
    static QSizeF sourceSize(const QString& svg);
    /// The value of the attribute `name` (inserted into the pattern verbatim, case-sensitive)
    /// in `tag`; nothing when absent. The value ends at the first quote of either kind.
    static std::optional<QString> attribute(const QString& name, const QString& tag);
    /// The number that `attribute(name, tag)` begins with ("210mm" gives 210, "50%" 50).
    static std::optional<double> numericAttribute(const QString& name, const QString& tag);
    /// The page and image size for a drawing of `source` size: scaled by the smaller of 1 and
    /// `maxDimension` over the longer side, each side rounded (halves away from zero) and at
    /// least 1.
    static QSize pageSize(QSizeF source, double maxDimension);
    /// The HTML page that holds `svg` unchanged on a white page of `size` CSS pixels, behind a
    /// security policy that forbids every fetch and script.
    static QString htmlDocument(const QString& svg, QSize size);
    /// `image` drawn over opaque white into a bitmap of `size` (rounded, at least 1 × 1
    /// pixels), as PNG; nothing when there is no image to draw or the bitmap cannot be made
    /// or encoded.
    static std::optional<QByteArray> whiteBackedPNGData(const QImage& image, QSizeF size);

    /// The browser program to start, instead of looking for Chromium in its usual places
    /// (empty: look again). A running browser is ended so that the next render uses it.
    void setBrowserExecutable(const QString& path);
    /// The running browser's process id, 0 when none runs. For diagnostics and tests.
    qint64 browserProcessId() const;
    /// The running browser's folder (its profile and all it writes), empty when none runs.
    /// For diagnostics and tests.
    QString browserFolder() const;

  private:
    /// The running browser, started afresh when there is none, it cannot be reused, or it
    /// turns out to have ended. Called with `mutex_` held, so one start serves every render
    /// that waits for it.
    Outcome<std::shared_ptr<HeadlessBrowser>> runningBrowser();
    /// A browser and a page of it for one render.
    struct Lease {
        std::shared_ptr<HeadlessBrowser> browser;
        HeadlessBrowser::Page page;
    };
    /// Waits for a place among the pages and takes a free page, or opens a new one.
    Outcome<Lease> lease();
    /// Hands the page of a finished render back, or closes it when it cannot serve again.
    void release(Lease lease);
    /// Loads the page of `svg` into the sized page, snapshots it and paints it over white.
    Outcome<QByteArray> renderPage(HeadlessBrowser& browser, HeadlessBrowser::Page& page,
                                   const QString& svg, QSize size);

    mutable std::mutex mutex_;
    std::condition_variable pageFreed_;
    QString browserExecutable_;
    std::shared_ptr<HeadlessBrowser> browser_;
    /// Pages of `browser_` that no render uses.
    QList<HeadlessBrowser::Page> freePages_;
    int busyPages_ = 0;
};

}  // namespace keelwick
