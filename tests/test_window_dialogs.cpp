// The window's dialogs as their users meet them: the review of the drawings found, the
// stored picture of one, the report of a run and the missing fonts, on the real views over a
// model fed by fake analysis and rescue, read and operated through the accessibility tree.
#include "support/Files.h"
#include "support/WindowDriver.h"
#include "support/ZipWriter.h"
#include "workflow/StoredPicture.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QBuffer>
#include <QClipboard>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <condition_variable>
#include <map>
#include <mutex>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

using namespace keelwick;
using keelwick::testing::writeFile;

namespace {

/// Records the addresses the window asks the desktop to open.
class OpenedLinks : public QObject {
    Q_OBJECT
  public:
    OpenedLinks() {
        for (const char* scheme : {"https", "file"}) {
            QDesktopServices::setUrlHandler(QString::fromUtf8(scheme), this, "open");
        }
    }
    ~OpenedLinks() override {
        for (const char* scheme : {"https", "file"}) {
            QDesktopServices::unsetUrlHandler(QString::fromUtf8(scheme));
        }
    }
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

QByteArray jpeg(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return bytes;
}

class DialogsTest : public keelwick::testing::WindowDriverTest {
  protected:
    /// A window that finds drawings for real and analyses them with `findings` (by file
    /// name; nothing found for the others), or with the real analysis when `realAnalysis`.
    /// Drawings named "broken…" fail their rescue.
    void open(bool realAnalysis = false) {
        RescueViewModel::Services services = RescueViewModel::Services::standard();
        services.installedFonts = [] { return InstalledFonts{}; };
        if (!realAnalysis) {
            services.previewMetadata = [this](const QString& path, const InstalledFonts&) {
                gate.pass();
                const auto found = findings.find(QFileInfo(path).fileName());
                return found == findings.end() ? PreviewMetadata{} : found->second;
            };
        }
        services.rescueDrawing = [](const RescueCandidate& candidate, const RescueOptions&) {
            RescueResult result;
            result.sourceURL = candidate.url;
            result.missingFonts = candidate.missingFonts;
            result.embeddedImageCount = candidate.embeddedImageCount;
            if (QFileInfo(candidate.url).baseName().startsWith(QLatin1StringView("broken"))) {
                result.errorMessage = QStringLiteral("The drawing could not be read.");
            } else {
                result.outputURL = candidate.url + QStringLiteral(".svg");
            }
            return result;
        };
        window = std::make_unique<DesktopWindow>(services);
        ASSERT_TRUE(window->show());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->window()));
    }

    /// Empty drawing files at the given paths below `folder` (the drawings folder unless
    /// given), chosen as a folder.
    void review(const QStringList& paths, QString folder = {}) {
        folder = folder.isEmpty() ? drawings.path() : folder;
        for (const QString& path : paths) {
            QDir(folder).mkpath(QFileInfo(path).path());
            if (!QFileInfo::exists(QDir(folder).filePath(path))) {
                writeFile(QDir(folder).filePath(path));
            }
        }
        window->choose({folder});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->model().isLoadingSelectionPreview(); }));
        ASSERT_TRUE(waitFor(QStringLiteral("Files found")));
    }

    /// Runs a check (or a rescue) of the drawings reviewed into a fresh destination.
    void run(bool isCheck = true) {
        window->model().setShowsSelectionPreview(false);
        window->model().useOutputFolder(destination.path());
        isCheck ? window->model().rescue() : window->model().rescueAsSVG();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->state().showsRescueReport(); }));
        ASSERT_TRUE(waitFor(QStringLiteral("Reveal In File Manager")));
    }

    const RescueCandidate& candidate(const QString& name) const {
        for (const RescueCandidate& candidate : window->model().candidates()) {
            if (candidate.url.endsWith(u'/' + name)) {
                return candidate;
            }
        }
        throw std::runtime_error("no candidate " + name.toStdString());
    }

    bool isMixed(const QString& name) const {
        QAccessibleInterface* element = find(name);
        return element && element->state().checkStateMixed;
    }

    std::map<QString, PreviewMetadata> findings;
    QTemporaryDir drawings, destination;
};

TEST_F(DialogsTest, TheTreeCountsAndTogglesFoldersInThreeStates) {
    open();
    review({"A/a1.idraw", "A/a2.idraw", "A/a3.idraw", "A/B/b1.idraw"});
    screenshot(QStringLiteral("review"));
    QStringList texts = readable();
    // Folder A holds its three drawings and folder B, sorted by name.
    const QStringList order{"A", "4 of 4 files", "a1.idraw", "a2.idraw", "a3.idraw",
                            "B", "1 of 1 file",  "b1.idraw"};
    QStringList shownOrder;
    for (const QString& text : texts) {
        if (order.contains(text)) {
            shownOrder.append(text);
        }
    }
    EXPECT_EQ(shownOrder, order);
    EXPECT_TRUE(texts.contains("4 selected of 4 found"));

    press(QStringLiteral("Deselect b1.idraw"));
    EXPECT_FALSE(candidate("b1.idraw").isSelected);
    texts = readable();
    EXPECT_TRUE(texts.contains("3 of 4 files"));
    EXPECT_TRUE(texts.contains("0 of 1 file"));
    EXPECT_TRUE(isMixed(QStringLiteral("Select all in A")));
    EXPECT_FALSE(isMixed(QStringLiteral("Select all in B")));
    EXPECT_TRUE(texts.contains("3 selected of 4 found"));

    press(QStringLiteral("Select all in A"));
    EXPECT_TRUE(candidate("b1.idraw").isSelected);
    ASSERT_NE(find(QStringLiteral("Deselect all in A")), nullptr);
    EXPECT_TRUE(find(QStringLiteral("Deselect all in A"))->state().checked);
    press(QStringLiteral("Deselect all in A"));
    EXPECT_TRUE(window->model().selectedCandidates().isEmpty());
    EXPECT_TRUE(readable().contains("0 of 4 files"));

    // A collapsed folder hides its rows and keeps its count.
    press(QStringLiteral("Collapse B"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return find(QStringLiteral("b1.idraw")) == nullptr; }));
    EXPECT_TRUE(readable().contains("0 of 1 file"));
    press(QStringLiteral("Expand B"));
    EXPECT_TRUE(waitFor(QStringLiteral("b1.idraw")));

    // The keyboard: the first row is folder A; Space selects all in it, the arrows move to
    // the next row, Escape closes.
    QTest::keyClick(window->window(), Qt::Key_Space);
    EXPECT_EQ(window->model().selectedCandidates().size(), 4);
    QTest::keyClick(window->window(), Qt::Key_Down);
    QTest::keyClick(window->window(), Qt::Key_Space);
    EXPECT_FALSE(candidate("a1.idraw").isSelected);
    QTest::keyClick(window->window(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->model().showsSelectionPreview(); }));
}

TEST_F(DialogsTest, FiltersShowTheirDrawingsAndBulkButtonsTouchOnlyThose) {
    findings["fonts.idraw"] = PreviewMetadata{std::nullopt, 2, {"Futura", "Optima"}, {}};
    findings["broken.idraw"] =
        PreviewMetadata{std::nullopt, 0, {}, QStringLiteral("This file is not a drawing.")};
    open();
    review({"ok.idraw", "fonts.idraw", "broken.idraw"});
    QStringList texts = readable();
    for (const char* text :
         {"3 selected of 3 found", "2 embedded images", "2 fonts that are not installed",
          "1 need attention", "2 missing fonts", "2 embedded images", "Fonts OK",
          "This file is not a drawing."}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }

    press(QStringLiteral("Needs attention"));
    ASSERT_TRUE(waitFor(QStringLiteral("Deselect Visible")));
    EXPECT_EQ(find(QStringLiteral("ok.idraw")), nullptr);
    EXPECT_NE(find(QStringLiteral("broken.idraw")), nullptr);
    press(QStringLiteral("Deselect Visible"));
    EXPECT_FALSE(candidate("broken.idraw").isSelected);
    EXPECT_TRUE(candidate("ok.idraw").isSelected);
    EXPECT_TRUE(candidate("fonts.idraw").isSelected);
    EXPECT_TRUE(readable().contains("0 need attention"));

    press(QStringLiteral("Font problems"));
    ASSERT_TRUE(waitFor(QStringLiteral("fonts.idraw")));
    EXPECT_EQ(find(QStringLiteral("broken.idraw")), nullptr);
    press(QStringLiteral("All"));
    ASSERT_TRUE(waitFor(QStringLiteral("Deselect All")));
    press(QStringLiteral("Deselect All"));
    EXPECT_TRUE(window->model().selectedCandidates().isEmpty());
    EXPECT_TRUE(readable().contains("Select at least one drawing to continue."));
    EXPECT_FALSE(isEnabled(QStringLiteral("Done")));
    press(QStringLiteral("Select All"));
    EXPECT_EQ(window->model().selectedCandidates().size(), 3);
    EXPECT_TRUE(isEnabled(QStringLiteral("Done")));
    EXPECT_TRUE(readable().contains(
        "Only checked drawings will be rescued. Missing fonts can be installed before or after "
        "conversion for exact text rendering."));
}

TEST_F(DialogsTest, AFilterWithNothingToShowSaysSoAndDisablesTheBulkButtons) {
    open();
    review({"ok.idraw"});
    press(QStringLiteral("Font problems"));
    ASSERT_TRUE(waitFor(QStringLiteral("No drawings with font problems. Nice.")));
    EXPECT_FALSE(isEnabled(QStringLiteral("Select Visible")));
    EXPECT_FALSE(isEnabled(QStringLiteral("Deselect Visible")));
    press(QStringLiteral("Needs attention"));
    EXPECT_TRUE(waitFor(QStringLiteral("No drawings need attention. Nice.")));
}

TEST_F(DialogsTest, TheAnalysisShowsItsProgressAndStopsOnce) {
    open();
    gate.hold();
    writeFile(drawings.filePath("a.idraw"));
    writeFile(drawings.filePath("b.idraw"));
    window->choose({drawings.path()});
    ASSERT_TRUE(waitFor(QStringLiteral("Cancel")));
    ASSERT_TRUE(waitFor(QStringLiteral("Analyzing 1 of 2: a.idraw")));
    QStringList texts = readable();
    EXPECT_TRUE(
        texts.contains("Analyzing. You can review and deselect files when analysis is complete."));
    EXPECT_TRUE(texts.contains("0%"));
    EXPECT_TRUE(isEnabled(QStringLiteral("Done")));  // nothing selected yet, but analysing
    EXPECT_FALSE(isEnabled(QStringLiteral("Select All")));

    press(QStringLiteral("Cancel"));
    ASSERT_TRUE(waitFor(QStringLiteral("Stopping")));
    screenshot(QStringLiteral("review-stopping"));
    EXPECT_FALSE(isEnabled(QStringLiteral("Stopping")));
    EXPECT_TRUE(readable().contains("Stopping analysis. Drawings analyzed so far are kept."));
    gate.release();
    // The drawing being analysed was finished, and is kept.
    EXPECT_TRUE(waitFor(QStringLiteral(
        "Analysis stopped. The 1 drawing analyzed so far is kept; the other 1 was left out.")));
    EXPECT_FALSE(window->model().showsSelectionPreview());
    ASSERT_EQ(window->model().candidates().size(), 1);
    EXPECT_TRUE(window->model().candidates()[0].url.endsWith(QLatin1StringView("/a.idraw")));
}

TEST_F(DialogsTest, TheReportCountsInSingularAndPluralAndListsEveryDrawing) {
    struct Case {
        bool storesImages;
        QStringList drawings;
        QStringList tiles;
        const char* imagesHelp;
    };
    const Case cases[] = {
        {true,
         {"a.idraw", "broken.idraw"},
         {"1 drawing rescued", "1 image rescued", "1 need attention",
          "1 fonts that are not installed"},
         "Original images were saved next to their SVG."},
        {false,
         {"a.idraw", "c.idraw", "broken1.idraw", "broken2.idraw"},
         {"2 drawings can be rescued", "0 images rescued", "2 need attention",
          "1 fonts that are not installed"},
         "Turn on “Store embedded images in original format” in Step 2 to save the originals "
         "next to each SVG."},
    };
    findings["a.idraw"] = PreviewMetadata{std::nullopt, 1, {"Futura"}, {}};
    findings["c.idraw"] = PreviewMetadata{std::nullopt, 2, {}, {}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.drawings.join(", ").toStdString());
        open();
        RescueOptions options = window->model().options();
        options.storeOriginalImages = row.storesImages;
        window->model().setOptions(options);
        review(row.drawings, drawings.filePath(QString::number(row.drawings.size())));
        run(!row.storesImages);  // only a rescue stores images
        screenshot(QStringLiteral("report-%1").arg(row.drawings.size()));
        const QStringList texts = readable();
        for (const QString& tile : row.tiles) {
            EXPECT_TRUE(texts.contains(tile)) << qPrintable(tile);
        }
        QAccessibleInterface* images = find(row.tiles[1]);
        ASSERT_NE(images, nullptr);
        EXPECT_EQ(images->text(QAccessible::Description), QString::fromUtf8(row.imagesHelp));
        // One row per drawing, in the report's order.
        QStringList titles;
        for (const QString& text : texts) {
            if (text.endsWith(QLatin1StringView(".idraw"))) {
                titles.append(text);
            }
        }
        QStringList expected = row.drawings;
        expected.sort();
        EXPECT_EQ(titles, expected);
        EXPECT_EQ(window->window()->findChild<QQuickItem*>(QStringLiteral("celebration")),
                  nullptr);  // not every drawing came out well
        window.reset();
    }
}

TEST_F(DialogsTest, TheMissingFontDialogGroupsFontsAndLooksThemUp) {
    OpenedLinks links;
    findings["a.idraw"] = PreviewMetadata{std::nullopt, 0, {"Café&Co #2+Bold"}, {}};
    findings["b.idraw"] = PreviewMetadata{std::nullopt, 0, {"Café&Co #2+Bold", "Optima"}, {}};
    open();
    review({"a.idraw", "b.idraw"});
    run();
    press(QStringLiteral("2 fonts that are not installed"));
    ASSERT_TRUE(waitFor(QStringLiteral("Missing fonts")));
    screenshot(QStringLiteral("missing-fonts"));
    QStringList texts = readable();
    for (const char* text : {"DRY RUN · PREVIEW IMAGES", "Café&Co #2+Bold",
                             "Referenced by 2 drawings", "Optima", "Referenced by 1 drawing"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_EQ(find(QStringLiteral("Café&Co #2+Bold"))->text(QAccessible::Description),
              QStringLiteral("Look up “Café&Co #2+Bold”. Google Fonts is free to download and "
                             "install."));
    press(QStringLiteral("Show file references"));
    ASSERT_TRUE(waitFor(QStringLiteral("b.idraw")));
    EXPECT_TRUE(readable().contains("a.idraw"));

    press(QStringLiteral("Copy font name"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Café&Co #2+Bold"));
    press(QStringLiteral("Find font"));
    press(QStringLiteral("More font searches for Optima"));
    ASSERT_TRUE(waitFor(QStringLiteral("Search Adobe Fonts")))
        << qPrintable(readable().join(" | "));
    EXPECT_NE(find(QStringLiteral("Search MyFonts")), nullptr);
    press(QStringLiteral("Search Adobe Fonts"));
    ASSERT_EQ(links.opened.size(), 2);
    // The name's "&", "#" and "+" stay part of the search term, not of the address.
    EXPECT_EQ(links.opened[0].host(), QStringLiteral("fonts.google.com"));
    EXPECT_EQ(QUrlQuery(links.opened[0]).queryItemValue("query", QUrl::FullyDecoded),
              QStringLiteral("Café&Co #2+Bold"));
    EXPECT_EQ(links.opened[1].toString(QUrl::FullyEncoded),
              QStringLiteral("https://fonts.adobe.com/search?query=Optima"));

    pressLast(QStringLiteral("Done"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return find(QStringLiteral("Missing fonts")) == nullptr; }));
    EXPECT_TRUE(window->state().showsRescueReport());

    // Over a rescue's report the dialog speaks of the rescue.
    pressLast(QStringLiteral("Done"));
    run(false);
    press(QStringLiteral("2 fonts that are not installed"));
    ASSERT_TRUE(waitFor(QStringLiteral("Missing fonts")));
    screenshot(QStringLiteral("missing-fonts-after-rescue"));
    EXPECT_TRUE(readable().contains(QStringLiteral("RESCUE · SVG FILES")));
}

TEST_F(DialogsTest, TheReviewsFontDialogNamesWhatCouldNotBeInspectedOrSaysNothingIsMissing) {
    findings["broken.idraw"] =
        PreviewMetadata{std::nullopt, 0, {}, QStringLiteral("This file is not a drawing.")};
    open();
    review({"ok.idraw", "broken.idraw"});
    press(QStringLiteral("0 fonts that are not installed"));
    ASSERT_TRUE(waitFor(QStringLiteral("Could not inspect fonts")));
    EXPECT_TRUE(readable().contains("broken.idraw could not inspect: This file is not a drawing."));
    EXPECT_EQ(find(QStringLiteral("No missing fonts found in these drawings.")), nullptr);
    pressLast(QStringLiteral("Done"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !find(QStringLiteral("Could not inspect fonts")); }));

    press(QStringLiteral("Deselect broken.idraw"));
    press(QStringLiteral("0 fonts that are not installed"));
    EXPECT_TRUE(waitFor(QStringLiteral("No missing fonts found in these drawings.")));
    EXPECT_EQ(find(QStringLiteral("Could not inspect fonts")), nullptr);
}

TEST_F(DialogsTest, ARunThatRescuedEverythingCelebratesUnlessMotionIsReduced) {
    for (const bool reducesMotion : {false, true}) {
        SCOPED_TRACE(reducesMotion);
        qputenv("KEELWICK_REDUCED_MOTION", reducesMotion ? "1" : "0");
        open();
        review({"a.idraw"});
        run();
        QQuickItem* celebration =
            window->window()->findChild<QQuickItem*>(QStringLiteral("celebration"));
        EXPECT_EQ(celebration != nullptr, !reducesMotion);
        if (celebration) {
            EXPECT_EQ(celebration->width(), window->window()->contentItem()->width());
            QTest::qWait(qEnvironmentVariableIsSet("KEELWICK_SCREENSHOTS") ? 1500 : 0);
            screenshot(QStringLiteral("celebration"));
            // It ends by itself.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return !window->window()->findChild<QQuickItem*>(QStringLiteral("celebration"));
                },
                8000));
        }
        window.reset();
    }
    qunsetenv("KEELWICK_REDUCED_MOTION");
}

/// Drawings with real archives: the picture is read from the drawing again when shown.
TEST_F(DialogsTest, ThePictureDialogShowsTheStoredPictureOrItsPlaceholder) {
    OpenedLinks links;
    const QByteArray document =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Layers</key><array><dict>"
        "<key>Shapes</key><array><dict><key>FontName</key><string>Futura</string></dict>"
        "</array></dict></array></dict></plist>";
    const QByteArray picture = jpeg(QSize(800, 600));
    using keelwick::testing::fileEntry;
    const std::pair<const char*, QByteArray> archives[] = {
        {"good.idraw", keelwick::testing::zipBytes({fileEntry("QuickLook/Preview.jpg", picture),
                                                    fileEntry("data.xml", document)})},
        {"cut.idraw",
         keelwick::testing::zipBytes({fileEntry("QuickLook/Preview.jpg", picture.left(20))})},
        {"notjpeg.idraw", keelwick::testing::zipBytes({fileEntry("preview.jpg", "GIF89a...")})},
        {"none.idraw", keelwick::testing::zipBytes({fileEntry("data.xml", document)})},
    };
    for (const auto& [name, bytes] : archives) {
        writeFile(drawings.filePath(name), bytes);
    }
    open(true);
    review({});
    EXPECT_FALSE(candidate("good.idraw").storedPicture->thumbnailJPEG.isEmpty());
    EXPECT_TRUE(candidate("notjpeg.idraw").storedPicture->thumbnailJPEG.isEmpty());

    press(QStringLiteral("Picture of good.idraw"));
    ASSERT_TRUE(waitFor(QStringLiteral("Stored picture of good.idraw")));
    screenshot(QStringLiteral("picture"));
    QStringList texts = readable();
    EXPECT_TRUE(texts.contains(
        "Stored Graphic / iDraw preview, result will differ because of missing fonts."));
    EXPECT_FALSE(texts.contains("Fonts that are not installed"));
    press(QStringLiteral("Show missing fonts"));
    ASSERT_TRUE(waitFor(QStringLiteral("Hide missing fonts")));
    EXPECT_TRUE(readable().contains("Fonts that are not installed"));
    EXPECT_TRUE(readable().contains("Futura"));
    QTest::keyClick(window->window(), Qt::Key_Escape);  // closes the picture, not the review
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return find(QStringLiteral("Original drawing")) == nullptr; }));
    ASSERT_TRUE(window->model().showsSelectionPreview());

    struct Case {
        const char* name;
        const char* placeholder;
    };
    for (const Case& row : {Case{"none.idraw", "No stored picture"},
                            Case{"cut.idraw", "The stored picture cannot be shown"},
                            Case{"notjpeg.idraw", "The stored picture cannot be shown"}}) {
        press(QStringLiteral("Picture of ") + row.name);
        EXPECT_TRUE(waitFor(QString::fromUtf8(row.placeholder))) << row.name;
        EXPECT_TRUE(readable().contains("Stored Graphic / iDraw preview, result may differ") ||
                    QLatin1StringView(row.name) == QLatin1StringView("none.idraw"));
        pressLast(QStringLiteral("Done"));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return find(QStringLiteral("Original drawing")) == nullptr; }));
    }

    // Without a session bus the file manager is reached by opening the drawing's folder.
    press(QStringLiteral("cut.idraw"));
    if (!QDBusConnection::sessionBus().isConnected()) {
        EXPECT_EQ(links.opened, QList<QUrl>{QUrl::fromLocalFile(drawings.path())});
    }
    links.opened.clear();
    // Removed from disk while the review is open: it can still be left out, its reveal does
    // nothing and its picture is the placeholder.
    QFile::remove(drawings.filePath("good.idraw"));
    press(QStringLiteral("Deselect good.idraw"));
    EXPECT_FALSE(candidate("good.idraw").isSelected);
    press(QStringLiteral("good.idraw"));
    EXPECT_TRUE(links.opened.isEmpty());
    press(QStringLiteral("Picture of good.idraw"));
    EXPECT_TRUE(waitFor(QStringLiteral("The stored picture cannot be shown")));
}

TEST(StoredPictures, KeepAThumbnailOfWhatDecodesAndTheSizeOfEverything) {
    const QByteArray picture = jpeg(QSize(1600, 900));
    struct Case {
        QByteArray bytes;
        QSize thumbnail;
    };
    for (const Case& row : {Case{picture, QSize(112, 63)}, Case{jpeg(QSize(40, 30)), QSize(40, 30)},
                            Case{"not a picture", QSize(0, 0)}, Case{picture.left(30), QSize(0, 0)},
                            Case{QByteArray(), QSize(0, 0)}}) {
        const StoredPicture stored = storedPicture(row.bytes);
        EXPECT_EQ(stored.byteCount, row.bytes.size());
        EXPECT_EQ(decodedPicture(stored.thumbnailJPEG, QSize(200, 200)).size(), row.thumbnail);
    }
}

}  // namespace

#include "test_window_dialogs.moc"
