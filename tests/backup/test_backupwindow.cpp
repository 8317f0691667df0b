#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/ImportVolumeList.h"
#include "backup/gui/BackupCommands.h"
#include "backup/gui/fmImport.h"
#include "catalog/Catalog.h"
#include "catalog/Checksum.h"
#include "helper_zips.h"
#include "settings/gVars.h"
#include "util/gui/MessageBox.h"

#include <QDir>
#include <QPushButton>
#include <QTest>
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
        // Named as saves name them, by their records' checksum: that is how a merge knows them.
        const QByteArray first = ziptest::archiveBytes(QStringLiteral("A"), 1, 2, "a");
        const QByteArray second = ziptest::archiveBytes(QStringLiteral("B"), 2, 2, "b");
        secondName = checksumOfBytes(QByteArrayView(second).first(second.indexOf("ADate="))) + QStringLiteral(".dat");
        ziptest::writeTree(
            gVars().catalogFolder,
            {{checksumOfBytes(QByteArrayView(first).first(first.indexOf("ADate="))) + QStringLiteral(".dat"), first},
             {secondName, second}});
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

    QString dir, chosen, secondName;
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

    // A file that cannot be written: told, and the dialog comes back with the same choice.
    const QString failing = dir + QStringLiteral("/no such folder/b.zip");
    asked.clear();
    boxes.clear();
    setZipFileChooserForTesting([&](bool save, const QString &proposed) {
        asked.append({save, proposed});
        return asked.size() == 1 ? failing : QString();
    });
    BackupArchivesToFile(&window);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked.at(1).second, failing);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front().first, MsgKind::Error);
    setZipFileChooserForTesting([this](bool save, const QString &proposed) {
        asked.append({save, proposed});
        return chosen;
    });

    // No at the question leaves the catalog; Yes restores it.
    QFile::remove(gVars().catalogFolder + secondName);
    boxes.clear();
    answer = MsgAnswer::No;
    RestoreArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front().first, MsgKind::Confirm);
    EXPECT_TRUE(boxes.front().second.contains(QStringLiteral("2 archives")));
    EXPECT_FALSE(QFile::exists(gVars().catalogFolder + secondName));
    answer = MsgAnswer::Yes;
    boxes.clear();
    RestoreArchivesFromFile(&window);
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes.at(1), std::make_pair(MsgKind::Notice, QStringLiteral("Restored 2 archives.")));
    EXPECT_TRUE(QFile::exists(gVars().catalogFolder + secondName));

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

// The import's window: the file dialog's answer is read, the list's ticks and marks reach the
// import, Import needs a ticked volume, and the summary is shown.
TEST_F(BackupWindowTest, ImportTakesTheTickedVolumesUnderTheirMarks)
{
    chosen = dir + QStringLiteral("/other.catalog");
    ambrytest::writeFile(
        chosen, R"({"storages":[{"name":"A","children":[{"name":"a","filetype":"file","size":3,"maccess":1}]},
                                                 {"name":"B","children":[{"name":"b","filetype":"file","size":4,"maccess":1e9}]}]})");
    bool importEnabledWithNoneTicked = true;
    setImportWindowHandlerForTesting([&](TfrmImport &w) {
        ImportVolumeList *list = w.volumes();
        EXPECT_EQ(list->rowCount(), 2);
        for (int row = 0; row < 2; ++row)
            list->setData(list->index(row, ImportVolumeList::MarkColumn), Qt::Unchecked, Qt::CheckStateRole);
        importEnabledWithNoneTicked = w.btnImport->isEnabled();
        list->setData(list->index(1, ImportVolumeList::MarkColumn), Qt::Checked, Qt::CheckStateRole);
        list->setData(list->index(1, ImportVolumeList::MarkColumn), QStringLiteral("Shelf B"), Qt::EditRole);
        QTest::mouseClick(w.btnImport, Qt::LeftButton);
        return w.result();
    });
    ImportFromOtherCatalog(&window);
    setImportWindowHandlerForTesting(nullptr);
    EXPECT_FALSE(importEnabledWithNoneTicked);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.front(), std::make_pair(MsgKind::Notice, QStringLiteral("Imported 1 disc (1 file).")));
    EXPECT_EQ(QDir(gVars().catalogFolder).entryList({QStringLiteral("*.dat")}).size(), 3);
    EXPECT_TRUE(catalog::Catalog(gVars().catalogFolder).markExists(QStringLiteral("Shelf B")));
}
