// Finding drawings: which items a scan of chosen files and folders keeps, the display path
// below the chosen folder, duplicates collapsing to their first occurrence and the
// file-browser order of display paths.

#include "pipeline/NativePath.h"
#include "support/FilePermissions.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "workflow/DrawingScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace keelwick {
namespace {

using Tree = testing::FileTree;

QStringList displayPaths(const QList<RescueCandidate>& candidates) {
    QStringList paths;
    for (const RescueCandidate& candidate : candidates) {
        paths.append(displayPath(candidate));
    }
    return paths;
}

TEST(DisplayPath, IsThePathBelowTheChosenFolderOrTheFullPath) {
    EXPECT_EQ(displayPath(RescueCandidate("/Users/a/Art/Old/x.idraw", "/Users/a/Art")),
              "Old/x.idraw");
    EXPECT_EQ(displayPath(RescueCandidate("/Users/a/Art/x.idraw")), "/Users/a/Art/x.idraw");
    // Only the leading folder goes: its name recurring further down stays.
    EXPECT_EQ(displayPath(RescueCandidate("/a/x/a/y.idraw", "/a")), "x/a/y.idraw");
    // A folder that is only a prefix of a name is no folder of the path.
    EXPECT_EQ(displayPath(RescueCandidate("/Art2/x.idraw", "/Art")), "x.idraw");
}

TEST(PathExtension, FollowsTheLastDotOfTheLastComponent) {
    EXPECT_EQ(pathExtension("/a/x.IDRAW"), "IDRAW");
    EXPECT_EQ(pathExtension("/a/x.idraw.bak"), "bak");
    EXPECT_EQ(pathExtension("/a/x"), "");
    EXPECT_EQ(pathExtension("/a/.idraw"), "");
    EXPECT_EQ(pathExtension("/a/x.idraw/"), "idraw");
    EXPECT_EQ(pathExtension("/a.idraw/x"), "");
}

TEST(ScanFolder, KeepsVisibleItemsNamedLikeDrawingsAtAnyDepth) {
    Tree tree;
    tree.file("top.IDRAW");
    tree.file("Old/Deeper/inner.idraw");
    tree.file("Old/x.idraw.bak");
    tree.file("Old/idraw");
    tree.file("Old/notes.txt");
    tree.file(".hidden.idraw");
    tree.file(".cache/inside.idraw");
    tree.folder("Package.idraw/Images");  // a folder named like a drawing counts too

    const QList<RescueCandidate> found = sortedByDisplayPath(scanFolder(tree.path()).candidates);
    EXPECT_EQ(displayPaths(found),
              QStringList({"Old/Deeper/inner.idraw", "Package.idraw", "top.IDRAW"}));
    for (const RescueCandidate& candidate : found) {
        EXPECT_EQ(candidate.baseFolder, tree.path());
        EXPECT_TRUE(candidate.url.startsWith(tree.path() + u'/'));
    }
}

TEST(ScanFolder, DoesNotFollowLinkedFoldersIntoLoops) {
    Tree tree;
    tree.file("a/x.idraw");
    ASSERT_TRUE(QFile::link(tree.path() + "/a", tree.path() + "/a/back"));
    EXPECT_EQ(displayPaths(scanFolder(tree.path()).candidates), QStringList({"a/x.idraw"}));
}

TEST(ScanFolder, PassesOverAFolderItCannotRead) {
    Tree tree;
    tree.file("open/a.idraw");
    tree.file("locked/b.idraw");
    tree.file("z.idraw");
    const QString locked = tree.path() + "/locked";
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    ScanFindings found;
    ASSERT_TRUE(testing::runWithFilePermissions([&] { found = scanFolder(tree.path()); }));
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(displayPaths(sortedByDisplayPath(found.candidates)),
              QStringList({"open/a.idraw", "z.idraw"}));
    EXPECT_EQ(found.unreadableFolders, QStringList({locked}));
}

TEST(NativePath, KeepsEveryByteOfNamesThatAreNotUtf8AndShowsThemReadably) {
    const struct {
        QByteArray bytes;
        QString readable;
    } cases[] = {
        {"/a/caf\xc3\xa9.idraw", "/a/café.idraw"},       // UTF-8: as Qt decodes it
        {"/a/caf\xe9.idraw", "/a/café.idraw"},           // Latin-1
        {"/a/\xc0\xaf.idraw", "/a/\u00c0\u00af.idraw"},  // an overlong "/" is no separator
        {"/a/\xed\xa0\x80\xe2\x82", "/a/\u00ed\u00a0\u0080\u00e2\u0082"},  // surrogate, cut
    };
    for (const auto& [bytes, readable] : cases) {
        const QString path = pathFromNativeBytes(bytes);
        EXPECT_EQ(nativeBytes(path), bytes);
        EXPECT_EQ(readablePath(path), readable);
        EXPECT_EQ(path.count(u'/'), 2);
    }
}

TEST(ScanFolder, FindsAndReachesDrawingsWhoseNamesAreNotUtf8) {
    Tree tree;
    const QByteArray latin1 = QFile::encodeName(tree.folder("Old")) + "/Caf\xe9.idraw";
    const int descriptor = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::write(descriptor, "drawing", 7), 7);
    ::close(descriptor);

    const QList<RescueCandidate> found = scan({tree.path()}).candidates;
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(displayPath(found[0]), "Old/Café.idraw");
    EXPECT_EQ(nativeBytes(found[0].url), latin1);
    EXPECT_EQ(scan({found[0].url}).candidates.size(), 1);  // chosen by itself too
    const ReachablePath reachable(found[0].url);
    QFile file(reachable.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "drawing");
}

TEST(ScanFolder, FindsNothingWhereThereIsNoFolder) {
    Tree tree;
    EXPECT_TRUE(scanFolder(tree.path() + "/missing").candidates.isEmpty());
    EXPECT_TRUE(scanFolder(tree.file("plain.idraw")).candidates.isEmpty());
}

TEST(Scan, TakesChosenFilesByExtensionAndScansChosenFolders) {
    Tree tree;
    const QString hidden = tree.file(".secret.idraw");
    const QString capitals = tree.file("LOUD.IDRAW");
    const QString backup = tree.file("x.idraw.bak");
    const QString bare = tree.file("noextension");
    const QString folder = tree.folder("Folder");
    tree.file("Folder/in.idraw");

    const QList<RescueCandidate> found =
        scan({hidden, tree.path() + "/absent.idraw", capitals, backup, bare, folder, ""})
            .candidates;
    ASSERT_EQ(found.size(), 3);
    // A hidden file chosen directly is found, in the order the paths were given.
    EXPECT_EQ(found[0].url, hidden);
    EXPECT_FALSE(found[0].baseFolder.has_value());
    EXPECT_EQ(found[1].url, capitals);
    EXPECT_EQ(found[2].url, folder + "/in.idraw");
    EXPECT_EQ(found[2].baseFolder, folder);
}

TEST(Deduplicated, KeepsTheFirstOccurrenceOfEachStandardizedPath) {
    const RescueCandidate inFolder("/d/a/x.idraw", "/d");
    const RescueCandidate direct("/d/a/../a/x.idraw");
    const RescueCandidate dotted("/d/./a/x.idraw");
    const RescueCandidate other("/d/a/y.idraw");

    const QList<RescueCandidate> kept = deduplicated({inFolder, direct, other, dotted});
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[0].id, inFolder.id);
    EXPECT_EQ(kept[1].id, other.id);

    // The order of the choice decides which occurrence, and so which base folder, stays.
    const QList<RescueCandidate> reversed = deduplicated({direct, inFolder});
    ASSERT_EQ(reversed.size(), 1);
    EXPECT_FALSE(reversed[0].baseFolder.has_value());
}

TEST(SortedByDisplayPath, OrdersLikeAFileBrowserAndKeepsTiesInScanOrder) {
    const RescueCandidate ten("/f/Drawing 10.idraw", "/f");
    const RescueCandidate nine("/f/Drawing 9.idraw", "/f");
    const RescueCandidate lower("/f/apple.idraw", "/f");
    const RescueCandidate upper("/f/Banana.idraw", "/f");
    const RescueCandidate sameAsNine("/g/Drawing 9.idraw", "/g");

    const QList<RescueCandidate> sorted =
        sortedByDisplayPath({ten, upper, sameAsNine, nine, lower});
    EXPECT_EQ(displayPaths(sorted), QStringList({"apple.idraw", "Banana.idraw", "Drawing 9.idraw",
                                                 "Drawing 9.idraw", "Drawing 10.idraw"}));
    EXPECT_EQ(sorted[2].id, sameAsNine.id);
    EXPECT_EQ(sorted[3].id, nine.id);
}

}  // namespace
}  // namespace keelwick
