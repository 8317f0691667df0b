// Getting a catalogued file from its disc without a window: the look on the read device, the
// request by mark, the look after the wait, and the wrong disc.

#include "DiscImages.h"
#include "TestSupport.h"

#include "catalog/ArchiveWriter.h"
#include "catalog/ProgramCatalog.h"
#include "drives/DiscWait.h"
#include "drives/testing/FakeDriveSystem.h"
#include "scan/IsoImage.h"
#include "search/ImageRetrieval.h"
#include "search/RetrievalSession.h"
#include "util/AmbryError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Answers requests as a script says and records what it was asked and told, with the door calls
// made so far at each step.
class ScriptedRequester : public DiscRequester
{
public:
    explicit ScriptedRequester(FakeDriveSystem &fake) : m_fake(fake) {}
    Answer waitForDisc(const QString &request) override
    {
        log << QStringLiteral("ask ") + request;
        log << m_fake.doorCalls();
        return onWait ? onWait() : Answer::Cancelled;
    }
    void tell(const QString &text) override
    {
        log << QStringLiteral("tell ") + text;
        log << m_fake.doorCalls();
    }
    std::function<Answer()> onWait;
    QStringList log;

private:
    FakeDriveSystem &m_fake;
};

class RetrievalSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        disc = ambrytest::makeTempDir(QStringLiteral("disc")) + QLatin1Char('/');
        ambrytest::writeFile(disc + QStringLiteral("Music/Rock/song.mp3"), "song");
        other = ambrytest::makeTempDir(QStringLiteral("other")) + QLatin1Char('/');
        ambrytest::writeFile(other + QStringLiteral("Music/Rock/other.mp3"), "other");
        fake.addOpticalDrive('D');
        setDriveSystemForTesting(&fake);
    }
    void TearDown() override { setDriveSystemForTesting(nullptr); }

    void insert(const QString &root)
    {
        fake.setReady('D', !root.isEmpty());
        fake.setRootPath('D', root);
    }
    CataloguedFile song() const
    {
        return {"Music\\Rock", "song.mp3", QStringLiteral("Music\\Rock"), QStringLiteral("song.mp3"),
                QStringLiteral("CD 7")};
    }

    FakeDriveSystem fake;
    QString disc;
    QString other;
};

const QString kAsk = QStringLiteral("ask Insert CD/DVD marked: CD 7");
const QString kTell = QStringLiteral("tell You inserted wrong CD/DVD.");
const QString kOpen = QStringLiteral("open D");

TEST_F(RetrievalSessionTest, Outcomes)
{
    using Answer = DiscRequester::Answer;
    using Outcome = RetrievalSession::Outcome;
    enum Inserted { Nothing, TheDisc, AnotherDisc };
    struct Row
    {
        const char *what;
        Inserted before; // in the drive when the command starts
        Inserted during; // put in during the wait
        Answer answer;   // how the wait ends
        Outcome expected;
        QStringList log;   // what the requester was asked and told, with the door calls so far
        QStringList doors; // every door call
    };
    const Row rows[] = {
        {"file present: no request, no tray", TheDisc, TheDisc, Answer::Inserted, Outcome::Found, {}, {}},
        {"empty drive, then the disc",
         Nothing,
         TheDisc,
         Answer::Inserted,
         Outcome::Found,
         {kAsk, kOpen},
         {kOpen}},
        {"another disc in, then the disc",
         AnotherDisc,
         TheDisc,
         Answer::Inserted,
         Outcome::Found,
         {kAsk, kOpen},
         {kOpen}},
        {"wrong disc: told, then the tray opens",
         Nothing,
         AnotherDisc,
         Answer::Inserted,
         Outcome::WrongDisc,
         {kAsk, kOpen, kTell, kOpen},
         {kOpen, kOpen}},
        {"OK on an empty drive is a wrong disc",
         Nothing,
         Nothing,
         Answer::Inserted,
         Outcome::WrongDisc,
         {kAsk, kOpen, kTell, kOpen},
         {kOpen, kOpen}},
        {"cancelled: the tray stays open",
         Nothing,
         TheDisc,
         Answer::Cancelled,
         Outcome::Cancelled,
         {kAsk, kOpen},
         {kOpen}},
        {"timed out", Nothing, Nothing, Answer::TimedOut, Outcome::TimedOut, {kAsk, kOpen}, {kOpen}},
    };
    const auto rootOf = [this](Inserted i) {
        return i == TheDisc ? disc : i == AnotherDisc ? other : QString();
    };
    for (const Row &row : rows) {
        fake.clearDoorCalls();
        insert(rootOf(row.before));
        ScriptedRequester requester(fake);
        requester.onWait = [&] {
            insert(rootOf(row.during));
            return row.answer;
        };
        RetrievalSession session('D', song());
        EXPECT_EQ(session.run(requester), row.expected) << row.what;
        EXPECT_EQ(requester.log, row.log) << row.what;
        EXPECT_EQ(fake.doorCalls(), row.doors) << row.what;
        if (row.expected == Outcome::Found) {
            EXPECT_EQ(session.path(), QFile::encodeName(disc) + "Music/Rock/song.mp3") << row.what;
        }
    }
}

TEST_F(RetrievalSessionTest, NoReadDeviceIsRefusedBeforeAnythingHappens)
{
    for (char letter : {'\0', '1'}) {
        ScriptedRequester requester(fake);
        RetrievalSession session(letter, song());
        try {
            session.run(requester);
            ADD_FAILURE() << "no error for " << int(letter);
        } catch (const AmbryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Not a valid drive ID"));
        }
        EXPECT_TRUE(requester.log.isEmpty());
        EXPECT_TRUE(fake.doorCalls().isEmpty());
    }
}

// A disc added from a disc image: while the image is at the archive's location, the file comes
// out of it with no tray and no request; otherwise the disc is asked for as always.
TEST_F(RetrievalSessionTest, AFileOfAnImageComesOutOfTheImageWhileItIsThere)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString image = ambrytest::imageOf(QFile::encodeName(disc).toStdString());
    ASSERT_FALSE(image.isEmpty());
    const QString dir = QFileInfo(image).path();
    const QString notAnImage = dir + QStringLiteral("/notes.txt");
    ambrytest::writeFile(notAnImage, "not an image");
    const QString catalog = ambrytest::makeTempDir(QStringLiteral("catalog"));
    insert(QString()); // the drive stays empty: nothing may wait for it

    enum Result { Copied, AskForDisc, Error };
    const struct
    {
        const char *what;
        QString source;
        QString location;
        QByteArray name;
        Result expected;
    } rows[] = {
        {"the image at its location", archivesource::Image, image, "song.mp3", Copied},
        {"a disc from a drive", archivesource::Disc, image, "song.mp3", AskForDisc},
        {"an image moved away", archivesource::Image, dir + QStringLiteral("/moved.iso"), "song.mp3",
         AskForDisc},
        {"a location that is no path", archivesource::Image, QStringLiteral("Shelf A"), "song.mp3",
         AskForDisc},
        {"a file the image lacks", archivesource::Image, image, "absent.mp3", AskForDisc},
        {"a location that is no image", archivesource::Image, notAnImage, "song.mp3", Error},
    };
    int n = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        ArchiveFields fields;
        fields.mark = QStringLiteral("CD 7");
        fields.location = row.location;
        fields.source = row.source;
        fields.files = 1;
        const QString archive = writeNewArchive(catalog::Catalog(catalog, catalog::settingsNumberStore()),
                                                QByteArray("Music\\Rock\r\nsong.mp3\r\n4\r\n0\r\n"),
                                                QString::number(++n), fields);
        CataloguedFile file = song();
        file.name = row.name;
        RetrievalSession session('D', file);
        session.setArchive(archive);
        switch (row.expected) {
        case Copied: {
            ASSERT_TRUE(session.takeFromImage());
            const QString copy = QFile::decodeName(session.path());
            EXPECT_TRUE(copy.startsWith(imageretrieval::copiesFolder())) << copy.toStdString();
            EXPECT_EQ(QFileInfo(copy).fileName(), QStringLiteral("song.mp3"));
            EXPECT_EQ(ambrytest::readFile(copy), QByteArray("song"));
            break;
        }
        case AskForDisc: {
            EXPECT_FALSE(session.takeFromImage());
            ScriptedRequester requester(fake);
            EXPECT_EQ(session.run(requester), RetrievalSession::Outcome::Cancelled);
            EXPECT_EQ(requester.log.value(0), kAsk);
            break;
        }
        case Error:
            try {
                session.takeFromImage();
                ADD_FAILURE() << "no error";
            } catch (const AmbryError &e) {
                EXPECT_EQ(e.message(), isoimage::notAnImage(notAnImage));
            }
            break;
        }
    }
}

TEST_F(RetrievalSessionTest, CopiesTakenOutOfImagesAreKeptForADay)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString image = ambrytest::imageOf(QFile::encodeName(disc).toStdString());
    ASSERT_FALSE(image.isEmpty());
    const QString copies = imageretrieval::copiesFolder();
    const auto oldCopy = [&](const QString &name, int hoursAgo) {
        ambrytest::writeFile(copies + name + QStringLiteral("/song.mp3"), "old");
        const QByteArray path = QFile::encodeName(copies + name);
        const timespec t[2] = {{0, UTIME_OMIT}, {time(nullptr) - hoursAgo * 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), t, 0), 0);
    };
    oldCopy(QStringLiteral("yesterday"), 25);
    oldCopy(QStringLiteral("this morning"), 5);

    const QByteArray first = imageretrieval::takeOut(image, song());
    const QByteArray second = imageretrieval::takeOut(image, song());
    EXPECT_NE(first, second) << "each copy in a folder of its own";
    EXPECT_EQ(ambrytest::readFile(QFile::decodeName(first)), QByteArray("song"));
    EXPECT_EQ(ambrytest::readFile(QFile::decodeName(second)), QByteArray("song"));
    EXPECT_FALSE(QFileInfo::exists(copies + QStringLiteral("yesterday")));
    EXPECT_TRUE(QFileInfo::exists(copies + QStringLiteral("this morning/song.mp3")));
}

TEST(FolderRetrievalRules, TheFolderOfAFoundFile)
{
    const struct
    {
        QByteArray found, fileLine, folderLine, expected;
    } rows[] = {
        {"/m/D/Music/Rock/a.mp3", "Music\\Rock", "Music\\Rock", "/m/D/Music/Rock"},
        {"/m/D/Music/Rock/a.mp3", "Music\\Rock", "Music", "/m/D/Music"},
        {"/m/D/Music/Rock/a.mp3", "Music\\Rock", "\\", "/m/D"},
        {"/m/D/a.mp3", "\\", "\\", "/m/D"},
        {"/a.mp3", "\\", "\\", "/"},
        {"a.mp3", "\\", "\\", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(retrieval::folderOfFound(row.found, row.fileLine, row.folderLine), row.expected)
            << row.found.constData() << " " << row.folderLine.constData();
    EXPECT_EQ(retrieval::folderDepth("\\"), 0);
    EXPECT_EQ(retrieval::folderDepth("A\\\\B\\"), 2);
}

// A folder asks for its disc once, by its first file, and is then the folder on the disc that
// holds that file.
TEST_F(RetrievalSessionTest, AFolderIsFoundThroughItsFirstFile)
{
    CataloguedFolder music{"Music", QStringLiteral("Music"), QStringLiteral("CD 7"), {song()}};
    {
        insert(disc);
        ScriptedRequester requester(fake);
        FolderRetrieval retrieval('D', music);
        EXPECT_EQ(retrieval.run(requester), RetrievalSession::Outcome::Found);
        EXPECT_EQ(retrieval.path(), QFile::encodeName(disc) + "Music");
        EXPECT_TRUE(requester.log.isEmpty());
    }
    {
        insert(other);
        ScriptedRequester requester(fake);
        requester.onWait = [&] {
            insert(disc);
            return DiscRequester::Answer::Inserted;
        };
        FolderRetrieval retrieval('D', music);
        EXPECT_EQ(retrieval.run(requester), RetrievalSession::Outcome::Found);
        EXPECT_EQ(requester.log.filter(QStringLiteral("ask ")), QStringList{kAsk}) << "asked once";
        EXPECT_EQ(retrieval.path(), QFile::encodeName(disc) + "Music");
    }
    {
        insert(disc);
        ScriptedRequester requester(fake);
        FolderRetrieval retrieval(
            'D', CataloguedFolder{"Empty", QStringLiteral("Empty"), QStringLiteral("CD 7"), {}});
        EXPECT_EQ(retrieval.run(requester), RetrievalSession::Outcome::WrongDisc);
        EXPECT_TRUE(requester.log.isEmpty()) << "nothing proves the disc";
    }
}

TEST_F(RetrievalSessionTest, AFolderOfAnImageComesOutWholeOrNotAtAll)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    ambrytest::writeFile(disc + QStringLiteral("Music/list.m3u"), "list");
    ambrytest::writeFile(disc + QStringLiteral("Music/Jazz/take5.flac"), "jazz");
    const QString image = ambrytest::imageOf(QFile::encodeName(disc).toStdString());
    ASSERT_FALSE(image.isEmpty());
    const auto file = [](const QByteArray &line, const QByteArray &name) {
        return CataloguedFile{line, name, QString(), QString(), QStringLiteral("CD 7")};
    };
    CataloguedFolder music{"Music",
                           QStringLiteral("Music"),
                           QStringLiteral("CD 7"),
                           {file("Music", "list.m3u"), file("Music\\Jazz", "take5.flac"), song()}};
    const QString copy = QFile::decodeName(imageretrieval::takeOutFolder(image, music));
    EXPECT_TRUE(copy.startsWith(imageretrieval::copiesFolder())) << copy.toStdString();
    EXPECT_EQ(QFileInfo(copy).fileName(), QStringLiteral("Music"));
    EXPECT_EQ(ambrytest::readFile(copy + QStringLiteral("/list.m3u")), QByteArray("list"));
    EXPECT_EQ(ambrytest::readFile(copy + QStringLiteral("/Jazz/take5.flac")), QByteArray("jazz"));
    EXPECT_EQ(ambrytest::readFile(copy + QStringLiteral("/Rock/song.mp3")), QByteArray("song"));

    // The root of the disc is named by the mark, with no "/" in it.
    CataloguedFolder root{"\\", QStringLiteral("CD 7/8"), QStringLiteral("CD 7/8"), {song()}};
    EXPECT_EQ(QFileInfo(QFile::decodeName(imageretrieval::takeOutFolder(image, root))).fileName(),
              QStringLiteral("CD 7_8"));

    // Not this image: nothing taken. An image that lost a file: told, nothing left behind.
    CataloguedFolder foreign{"Other", QStringLiteral("Other"), QStringLiteral("CD 7"), {file("Other", "x")}};
    EXPECT_TRUE(imageretrieval::takeOutFolder(image, foreign).isEmpty());
    const QStringList before =
        QDir(imageretrieval::copiesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    music.files.push_back(file("Music", "gone.txt"));
    EXPECT_THROW(imageretrieval::takeOutFolder(image, music), AmbryError);
    EXPECT_EQ(QDir(imageretrieval::copiesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), before);
}

} // namespace
