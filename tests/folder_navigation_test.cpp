#include "form1_fixture.h"
#include "window/directory_list.h"
#include "window/drive_list.h"
#include "window/file_list.h"
#include "window/native_path.h"

namespace {

namespace fs = std::filesystem;

class FolderNavigationTest : public Form1Test {
protected:
    DirectoryList* dir1() const { return control<DirectoryList>("Dir1"); }
    DriveList* drive1() const { return control<DriveList>("Drive1"); }
    FileList* file1() const { return control<FileList>("File1"); }

    std::vector<fs::path> fileEntries() const {
        std::vector<fs::path> names;
        for (int i = 0; i < file1()->entryCount(); ++i) {
            names.push_back(file1()->entry(i));
        }
        return names;
    }
    QTreeWidgetItem* itemFor(const fs::path& folder) const {
        for (auto* item :
             dir1()->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive)) {
            if (native_path::fromVariant(item->data(0, Qt::UserRole)) == folder) {
                return item;
            }
        }
        return nullptr;
    }
    void highlight(const fs::path& folder) {
        QTreeWidgetItem* item = itemFor(folder);
        ASSERT_NE(item, nullptr) << folder;
        dir1()->setCurrentItem(item);
    }
    void openByKeyboard(const fs::path& folder) {
        dir1()->setFocus();
        highlight(folder);
        QTest::keyClick(dir1(), Qt::Key_Return);
    }
    void openByDoubleClick(const fs::path& folder) {
        QTreeWidgetItem* item = itemFor(folder);
        ASSERT_NE(item, nullptr) << folder;
        const QPoint at = dir1()->visualItemRect(item).center();
        QTest::mouseClick(dir1()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dir1()->viewport(), Qt::LeftButton, {}, at);
    }
    void pickDrive(int index) {
        drive1()->setCurrentIndex(index);
        emit drive1()->activated(index);
    }
};

TEST_F(FolderNavigationTest, StartsAtTheStartFolderOrItsNearestParentWithTheCurrentDrive) {
    logs.write("b.log", "");
    logs.write("a.txt", "");
    logs.write(".hidden.log", "");
    for (const char* folder : {"sub", "Zeta", ".cache", "été", "alpha"}) {
        fs::create_directory(logs / folder);
    }
    startFolder = logs / "gone" / "deeper";
    openWindow({{"/", "root"}, {logs.path(), "LOGS"}});
    EXPECT_EQ(dir1()->path(), logs.path());
    EXPECT_TRUE(answerer.seen.empty()) << "a missing start folder gives way without a word";
    EXPECT_EQ(fileEntries(), (std::vector<fs::path>{"a.txt", "b.log"}));
    EXPECT_EQ(drive1()->currentText(), "/ [root]") << "the drive list shows the current folder's";
    EXPECT_EQ(drive1()->count(), 2);
    QStringList shown;  // from the drive's root, then the visible subfolders by name in any case
    for (auto* item : dir1()->findItems(".*", Qt::MatchRegularExpression | Qt::MatchRecursive)) {
        shown << item->text(0);
    }
    EXPECT_EQ(shown, (QStringList{logs.path().c_str(), "alpha", "sub", "Zeta", "été"}));
}

TEST_F(FolderNavigationTest, PickingADriveMovesBothListsToItsFolderUnlessItCannotBeRead) {
    TempFolder other;
    other.write("other.log", M + "\r\nfrom the other drive\r\n");
    fs::create_directory(other / "deeper");
    other.write("deeper/deep.log", "");
    TempFolder gone;
    const fs::path goneRoot = gone / "clé";
    openWindow({{logs.path(), "A"}, {other.path(), "B"}, {goneRoot, "C"}});
    pickDrive(1);
    EXPECT_EQ(dir1()->path(), other.path());
    EXPECT_EQ(fileEntries(), std::vector<fs::path>{"other.log"});
    findCheaters();
    EXPECT_EQ(report(), "from the other drive\r\n");

    openByKeyboard(other / "deeper");
    pickDrive(0);
    EXPECT_EQ(dir1()->path(), logs.path());
    pickDrive(1);
    EXPECT_EQ(dir1()->path(), other / "deeper") << "a drive keeps the last folder opened on it";
    EXPECT_EQ(fileEntries(), std::vector<fs::path>{"deep.log"});

    pickDrive(2);
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[1].title, "VESK Parser");
    EXPECT_EQ(answerer.seen[1].text, QString::fromStdString("Cannot open " + goneRoot.string() +
                                                            ":\nNo such file or directory"));
    EXPECT_EQ(dir1()->path(), other / "deeper") << "the lists stay where they were";
    EXPECT_EQ(fileEntries(), std::vector<fs::path>{"deep.log"});
    EXPECT_EQ(drive1()->currentIndex(), 1) << "the drive list shows the folder's drive again";
}

TEST_F(FolderNavigationTest, TheSweepReadsTheFolderLastOpenedAsItIsAtTheClick) {
    logs.write("top.log", M + "\r\ntop\r\n");
    fs::create_directory(logs / "one");
    const fs::path two = logs / "two\xff\xfe";  // not UTF-8: the name must reach the sweep whole
    fs::create_directory(two);
    logs.write("one/a.log", M + "\r\nfrom one\r\n");
    openWindow();
    highlight(logs / "one");
    QTest::keyClick(dir1(), Qt::Key_Down);
    findCheaters();
    EXPECT_EQ(report(), "top\r\n") << "highlighting a folder does not open it";

    openByKeyboard(logs / "one");
    EXPECT_EQ(fileEntries(), std::vector<fs::path>{"a.log"});
    findCheaters();
    EXPECT_EQ(report(), "from one\r\n");

    openByKeyboard(logs.path());  // back up through the parent entry
    openByDoubleClick(two);
    EXPECT_EQ(dir1()->path().native(), two.native());
    logs.write(two / "late.log", M + "\r\nlate finding\r\n");
    findCheaters();
    EXPECT_EQ(report(), "late finding\r\n") << "a log written since the folder was opened";
    EXPECT_EQ(fileEntries(), std::vector<fs::path>{"late.log"});
}

}  // namespace
