// Getting a found file from its disc: the path on the read device, the wait for the right
// disc, and the hand-over to the clipboard and the shell.

#include "DiscImages.h"
#include "WindowTestSupport.h"

#include "catalog/ArchiveWriter.h"
#include "drives/DriveSystem.h"
#include "drives/gui/fmWaitCD.h"
#include "drives/testing/FakeDriveSystem.h"
#include "search/ImageRetrieval.h"
#include "search/ResultsModel.h"
#include "search/gui/Retrieval.h"
#include "util/gui/ShellService.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <memory>

#include <unistd.h>

using namespace searchwin;

namespace {

// A file under a name that is not UTF-8. Qt cannot name it, so it is made and removed here
// (the sandbox's own clean-up would leave it behind).
class RawFile
{
public:
    explicit RawFile(const QByteArray &path) : m_path(path)
    {
        FILE *f = std::fopen(m_path.constData(), "w");
        m_ok = f != nullptr;
        if (f)
            std::fclose(f);
    }
    ~RawFile() { ::unlink(m_path.constData()); }
    bool ok() const { return m_ok; }

private:
    QByteArray m_path;
    bool m_ok = false;
};

TEST(RetrievalPath, RelativePathFromFolderLineAndName)
{
    struct Case
    {
        QByteArray folder, name, expected;
    };
    const QList<Case> cases = {
        {"\\", "readme.txt", "readme.txt"},
        {"Music", "track01.mp3", "Music/track01.mp3"},
        {"Music\\Rock", "song.mp3", "Music/Rock/song.mp3"},
        {"a b\\c  d", " x .txt", "a b/c  d/ x .txt"},
        {"Docs", "caf\xE9.txt", "Docs/caf\xE9.txt"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(retrieval::relativePath(c.folder, c.name), c.expected) << c.expected.constData();
}

TEST(RetrievalPath, LocateKeepsBytesAndFallsBackToTheShownText)
{
    const QString disc = ambrytest::makeTempDir(QStringLiteral("disc")) + QLatin1Char('/');
    const QByteArray root = QFile::encodeName(disc);
    ambrytest::writeFile(disc + QStringLiteral("readme.txt"), "r");
    // A name that is not UTF-8, exactly as a Linux file system may hold it.
    QDir().mkpath(disc + QStringLiteral("Docs"));
    RawFile rawName(root + "Docs/caf\xE9.txt");
    ASSERT_TRUE(rawName.ok());
    // A name from a Windows-1252 archive that the mounted disc shows in UTF-8.
    ambrytest::writeFile(disc + QStringLiteral("Docs/r\u00e9sum\u00e9.txt"), "r");

    EXPECT_EQ(retrieval::locate(disc, "\\", "readme.txt", QStringLiteral("\\"), QStringLiteral("readme.txt")),
              root + "readme.txt");
    EXPECT_EQ(retrieval::locate(disc, "Docs", "caf\xE9.txt", QStringLiteral("Docs"),
                                QStringLiteral("caf\u00e9.txt")),
              root + "Docs/caf\xE9.txt");
    EXPECT_EQ(retrieval::locate(disc, "Docs", "r\xE9sum\xE9.txt", QStringLiteral("Docs"),
                                QStringLiteral("r\u00e9sum\u00e9.txt")),
              root + QByteArray("Docs/r\xC3\xA9sum\xC3\xA9.txt"));
    // Not there at all: the bytes as stored, which do not exist.
    const QByteArray missing =
        retrieval::locate(disc, "Docs", "gone.txt", QStringLiteral("Docs"), QStringLiteral("gone.txt"));
    EXPECT_EQ(missing, root + "Docs/gone.txt");
    EXPECT_FALSE(retrieval::fileExists(missing));
    // A folder is not a file; no medium means nothing to find (never a path from the current folder).
    EXPECT_FALSE(retrieval::fileExists(root + "Docs"));
    EXPECT_TRUE(
        retrieval::locate(QString(), "\\", "readme.txt", QStringLiteral("\\"), QStringLiteral("readme.txt"))
            .isEmpty());

    EXPECT_TRUE(retrieval::roundTrips(root + "readme.txt"));
    EXPECT_FALSE(retrieval::roundTrips(root + "Docs/caf\xE9.txt"));
    EXPECT_EQ(retrieval::fileUrl("/d/Docs/caf\xE9 x.txt").toEncoded(),
              QByteArray("file:///d/Docs/caf%E9%20x.txt"));
}

class Retrieval : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetUnitState();
        const QString catalog = useNewCatalog();
        writeArchive(catalog, QStringLiteral("7.dat"), "CD 7",
                     {{"\\", "readme.txt", 1234, packed(2008, 5, 14)},
                      {"Music\\Rock", "song.mp3", 999, packed(2007, 1, 2)},
                      {"Docs", "caf\xE9.txt", 5, packed(2009, 3, 10)}});
        disc = ambrytest::makeTempDir(QStringLiteral("disc")) + QLatin1Char('/');
        ambrytest::writeFile(disc + QStringLiteral("readme.txt"), "readme");
        ambrytest::writeFile(disc + QStringLiteral("Music/Rock/song.mp3"), "song");
        QDir().mkpath(disc + QStringLiteral("Docs"));
        rawName = std::make_unique<RawFile>(QFile::encodeName(disc) + "Docs/caf\xE9.txt");
        ASSERT_TRUE(rawName->ok());
        empty = ambrytest::makeTempDir(QStringLiteral("otherdisc")) + QLatin1Char('/');

        fake.addOpticalDrive('D');
        setDriveSystemForTesting(&fake);
        setShellForTesting(&shell);
        gVars().readDeviceLetter = 'D';
        QGuiApplication::clipboard()->clear();

        window = new TfrmSearch;
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        child<QAction>(window, "ActGo")->trigger();
        ASSERT_EQ(window->results()->rowCount(), 3);
    }
    void TearDown() override
    {
        delete window;
        setDriveSystemForTesting(nullptr);
        setShellForTesting(nullptr);
        gVars().readDeviceLetter = 0;
    }

    void insert(const QString &root)
    {
        fake.setReady('D', true);
        fake.setRootPath('D', root);
    }
    void select(const QByteArray &name)
    {
        QTreeView *list = window->resultsView();
        list->setFocus();
        for (int r = 0; r < window->results()->rowCount(); ++r)
            if (window->results()->nameBytes(r) == name)
                list->setCurrentIndex(window->results()->index(r, 0));
        ASSERT_TRUE(child<QAction>(window, "ActCopyFile")->isEnabled()) << name.constData();
    }
    QList<QUrl> clipboardUrls()
    {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        return data ? data->urls() : QList<QUrl>();
    }
    // Answers the wait window once it is up: records its request, then runs answer.
    void whenWaiting(std::function<void(TfrmWaitCD *)> answer)
    {
        whenShown([] { return qobject_cast<TfrmWaitCD *>(QApplication::activeModalWidget()) != nullptr; },
                  [this, answer] {
                      auto *wait = qobject_cast<TfrmWaitCD *>(QApplication::activeModalWidget());
                      ASSERT_NE(wait, nullptr);
                      request = child<QLabel>(wait, "lblMsg")->text();
                      answer(wait);
                  });
    }

    FakeDriveSystem fake;
    RecordingShell shell;
    MessageLog log;
    TfrmSearch *window = nullptr;
    QString disc;
    QString empty;
    QString request;
    std::unique_ptr<RawFile> rawName;
};

const QString kReady = QStringLiteral("Your file is ready in clipboard, paste it where you desire.");
const QString kWrong = QStringLiteral("You inserted wrong CD/DVD.");

TEST_F(Retrieval, FilePresentIsCopiedAtOnce)
{
    insert(disc);
    select("readme.txt");
    EXPECT_EQ(window->GetFullFilePathFromList(), disc + QStringLiteral("readme.txt"))
        << "no doubled separator";
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{QUrl::fromLocalFile(disc + QStringLiteral("readme.txt"))});
    EXPECT_EQ(log.texts, QStringList{kReady});
    EXPECT_TRUE(fake.doorCalls().isEmpty()) << "no tray, no wait window";
    EXPECT_TRUE(request.isEmpty());

    select("song.mp3");
    EXPECT_EQ(window->GetFullFilePathFromList(), disc + QStringLiteral("Music/Rock/song.mp3"));
}

TEST_F(Retrieval, ADiscAddedFromAnImageComesOutOfTheImageWithoutAWait)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString image = ambrytest::imageOf(QFile::encodeName(disc).toStdString());
    ASSERT_FALSE(image.isEmpty());
    const QString archive = window->results()->archivePath(0);
    ambrytest::writeFile(archive, withFieldValues(ambrytest::readFile(archive),
                                                  {{QStringLiteral("ASource"), archivesource::Image},
                                                   {QStringLiteral("ALocation"), image}}));
    select("song.mp3");
    // The drive is empty: a wait would show the request (and is cancelled, so nothing hangs).
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [this] {
        if (auto *wait = qobject_cast<TfrmWaitCD *>(QApplication::activeModalWidget())) {
            request = child<QLabel>(wait, "lblMsg")->text();
            wait->reject();
        }
    });
    guard.start(20);
    child<QAction>(window, "ActCopyFile")->trigger();
    guard.stop();
    EXPECT_TRUE(request.isEmpty()) << request.toStdString();
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    const QList<QUrl> urls = clipboardUrls();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_TRUE(urls.first().toLocalFile().startsWith(imageretrieval::copiesFolder()));
    EXPECT_EQ(ambrytest::readFile(urls.first().toLocalFile()), QByteArray("song"));
    EXPECT_EQ(log.texts, QStringList{kReady});
}

TEST_F(Retrieval, EmptyDriveWaitsForTheDiscThenCopies)
{
    select("song.mp3");
    whenWaiting([this](TfrmWaitCD *) {
        // Another disc that holds a file at the same path counts as the right one.
        insert(disc);
        EXPECT_TRUE(fake.emitArrival('D'));
    });
    child<QAction>(window, "ActCopyFile")->trigger();
    // The request, and under it where the archive says the disc is kept.
    EXPECT_EQ(request, QStringLiteral("Insert CD/DVD marked: CD 7\nKept at: Shelf A"));
    ASSERT_FALSE(fake.doorCalls().isEmpty());
    EXPECT_EQ(fake.doorCalls().first(), QStringLiteral("open D"));
    EXPECT_EQ(clipboardUrls(),
              QList<QUrl>{QUrl::fromLocalFile(disc + QStringLiteral("Music/Rock/song.mp3"))});
    EXPECT_EQ(log.texts, QStringList{kReady});
}

TEST_F(Retrieval, WrongDiscIsToldAndTheTrayOpensAgain)
{
    select("song.mp3");
    whenWaiting([this](TfrmWaitCD *) {
        insert(empty);
        fake.emitArrival('D');
    });
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_EQ(log.texts, QStringList{kWrong});
    ASSERT_GE(fake.doorCalls().size(), 2);
    EXPECT_EQ(fake.doorCalls().last(), QStringLiteral("open D"));
    EXPECT_TRUE(clipboardUrls().isEmpty());
}

TEST_F(Retrieval, WrongDiscAlreadyInTheDriveIsAskedForAgain)
{
    // A disc is in, but not the one: the tray opens and the wait starts; OK with that same
    // disc finds no file.
    insert(empty);
    select("readme.txt");
    whenWaiting([](TfrmWaitCD *wait) {
        if (wait->state() == TfrmWaitCD::State::Waiting)
            child<QPushButton>(wait, "btnOk")->click();
    });
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_EQ(gVars().waitMessage, QStringLiteral("Insert CD/DVD marked: CD 7"));
    EXPECT_EQ(log.texts, QStringList{kWrong});
    EXPECT_EQ(fake.doorCalls().first(), QStringLiteral("open D"));
    EXPECT_EQ(fake.doorCalls().last(), QStringLiteral("open D"));
}

TEST_F(Retrieval, CancelledWaitEndsSilently)
{
    select("readme.txt");
    whenWaiting([](TfrmWaitCD *wait) { child<QPushButton>(wait, "btnCancel")->click(); });
    child<QAction>(window, "ActExecuteFile")->trigger();
    EXPECT_FALSE(request.isEmpty());
    EXPECT_TRUE(log.texts.isEmpty());
    EXPECT_TRUE(shell.openedUrls.isEmpty());
    EXPECT_FALSE(fake.doorCalls().contains(QStringLiteral("close D")));
}

TEST_F(Retrieval, ExecuteFileOpensItAndSaysWhenNothingCanOpenIt)
{
    insert(disc);
    select("song.mp3");
    child<QAction>(window, "ActExecuteFile")->trigger();
    EXPECT_EQ(shell.openedUrls,
              QList<QUrl>{QUrl::fromLocalFile(disc + QStringLiteral("Music/Rock/song.mp3"))});
    EXPECT_TRUE(log.texts.isEmpty());
    // No program for the file type: the user is told which file could not be opened.
    shell.openResult = false;
    child<QAction>(window, "ActExecuteFile")->trigger();
    EXPECT_EQ(shell.openedUrls.size(), 2);
    ASSERT_EQ(log.texts.size(), 1);
    EXPECT_TRUE(log.texts.first().contains(disc + QStringLiteral("Music/Rock/song.mp3")))
        << log.texts.first().toStdString();
}

TEST_F(Retrieval, NamesThatAreNotUtf8AreFoundAndHandedOverExactly)
{
    insert(disc);
    select("caf\xE9.txt");
    const QByteArray url = "file://" + QFile::encodeName(disc).toPercentEncoding("/") + "Docs/caf%E9.txt";
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_EQ(log.texts, QStringList{kReady});
    ASSERT_EQ(clipboardUrls().size(), 1);
    EXPECT_EQ(clipboardUrls().first().toEncoded(), url);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")), "copy\n" + url);
    child<QAction>(window, "ActExecuteFile")->trigger();
    ASSERT_EQ(shell.openedUrls.size(), 1);
    EXPECT_EQ(shell.openedUrls.first().toEncoded(), url);
}

TEST_F(Retrieval, FailuresEndTheCommand)
{
    insert(disc);
    select("readme.txt");
    // The clipboard refuses: no success message, nothing else either.
    shell.clipboardFails = true;
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_TRUE(log.texts.isEmpty());
    // No read device at all: the drive routines refuse the letter.
    gVars().readDeviceLetter = 0;
    child<QAction>(window, "ActCopyFile")->trigger();
    EXPECT_EQ(log.texts, QStringList{QStringLiteral("Not a valid drive ID")});
    EXPECT_TRUE(fake.doorCalls().isEmpty());
}

} // namespace
