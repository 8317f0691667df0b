#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/gui/BackupCommands.h"
#include "helper_zips.h"
#include "settings/gVars.h"
#include "util/gui/MessageBox.h"

#include <QDir>
#include <QWidget>

// The window commands: the dialogs are answered, the work reaches the catalog, and the user
// reads the outcome. The rules themselves are tested on the widget-free classes.
class BackupWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = ambrytest::makeTempDir(QStringLiteral("window"));
        gVars().catalogFolder = dir + QStringLiteral("/Archive/");
        ziptest::writeTree(gVars().catalogFolder,
                           {{QStringLiteral("1.dat"), ziptest::archiveBytes(QStringLiteral("A"), 1)},
                            {QStringLiteral("2.dat"), ziptest::archiveBytes(QStringLiteral("B"), 2)}});
        setMessageBoxHandler([this](MsgKind kind, const QString &text) {
            boxes.append({kind, text});
            return kind == MsgKind::Confirm ? answer : MsgAnswer::Ok;
        });
        setZipFileChooserForTesting([this](bool save, const QString &proposed) {
            asked.append({save, proposed});
            return chosen;
        });
    }
    void TearDown() override
    {
        setMessageBoxHandler(nullptr);
        setZipFileChooserForTesting(nullptr);
    }

    QString dir, chosen;
    MsgAnswer answer = MsgAnswer::Yes;
    QList<std::pair<MsgKind, QString>> boxes;
    QList<std::pair<bool, QString>> asked;
    QWidget window;
};

TEST_F(BackupWindowTest, BackupRestoreAndMerge)
{
    chosen = dir + QStringLiteral("/b.zip");
    BackupArchivesToFile(&window);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.front().first);
    EXPECT_TRUE(asked.front().second.endsWith(QStringLiteral("/Ambrylog backup ") +
                                              QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                                              QStringLiteral(".zip")));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front(),
              std::make_pair(MsgKind::Notice, QStringLiteral("Backed up 2 archives to %1.").arg(chosen)));

    // No at the question leaves the catalog; Yes restores it.
    QFile::remove(gVars().catalogFolder + QStringLiteral("/2.dat"));
    boxes.clear();
    answer = MsgAnswer::No;
    RestoreArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front().first, MsgKind::Confirm);
    EXPECT_TRUE(boxes.front().second.contains(QStringLiteral("2 archives")));
    EXPECT_FALSE(QFile::exists(gVars().catalogFolder + QStringLiteral("/2.dat")));
    answer = MsgAnswer::Yes;
    boxes.clear();
    RestoreArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes.at(1), std::make_pair(MsgKind::Notice, QStringLiteral("Restored 2 archives.")));
    EXPECT_TRUE(QFile::exists(gVars().catalogFolder + QStringLiteral("/2.dat")));

    boxes.clear();
    MergeArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.front().second.startsWith(QStringLiteral("Added 0 archives; 2 skipped")));

    // A refused zip is an error box; Cancel in the file dialog does nothing at all.
    chosen = dir + QStringLiteral("/none.zip");
    ambrytest::writeFile(chosen, "not a zip");
    boxes.clear();
    MergeArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front().first, MsgKind::Error);
    chosen.clear();
    boxes.clear();
    BackupArchivesToFile(&window);
    RestoreArchivesFromFile(&window);
    EXPECT_TRUE(boxes.isEmpty());
}
