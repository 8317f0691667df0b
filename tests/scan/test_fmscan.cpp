#include "DiscImages.h"
#include "helper_tree.h"
#include "scan/IsoImage.h"
#include "scan/gui/fmScan.h"

#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/Checksum.h"
#include "catalog/ProgramCatalog.h"
#include "drives/DriveSystem.h"
#include "drives/gui/fmWaitCD.h"
#include "drives/testing/FakeDriveSystem.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/gui/MessageBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace scantest;
using State = TfrmScan::State;

namespace {

const QString kV = RegKey::V;

template <typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

bool settled(State s)
{
    return s != State::Idle && s != State::Scanning && s != State::Saving;
}

// Waits until the window's session stops for the user (or the window is closed).
bool waitSettled(TfrmScan &frm, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!settled(frm.state()) && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return settled(frm.state());
}

void writeArchive(const QString &path, const QString &mark, int number)
{
    ambrytest::writeFile(
        path, "\\\r\nx.txt\r\n1\r\n2162688\r\nADate=2162688\r\nAMark=" + mark.toUtf8() +
                  "\r\nALocation=\r\nACRC=1\r\nAFiles=1\r\nADirs=0\r\nANote=\r\nASize=1\r\nANumber=" +
                  QByteArray::number(number) + "\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n");
}

class ScanWindowTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        setDriveSystemForTesting(&fake);
        fake.addOpticalDrive('D');
        fake.setReady('D', true);
        gVars().readDeviceLetter = 'D';
        catalog = ambrytest::makeTempDir(QStringLiteral("catalog")) + QLatin1Char('/');
        gVars().catalogFolder = catalog;
        DeleteSetting(kV, QStringLiteral("HostageFile"));
        DeleteSetting(kV, QStringLiteral("LastArchiveNumber"));
        setMessageBoxHandler([this](MsgKind kind, const QString &text) {
            boxes.push_back({kind, text});
            return MsgAnswer::Ok;
        });
    }
    void TearDown() override
    {
        setMessageBoxHandler({});
        setDriveSystemForTesting(nullptr);
    }

    // A small data disc in drive D.
    std::string insertDisc(const char *hint, int rootFiles = 2)
    {
        const std::string root = newRoot(hint);
        for (int i = 0; i < rootFiles; ++i)
            makeFile(root + "file" + std::to_string(i) + ".txt", 100 + i,
                     localMoment(2008, 5, 14, 10, 20, 30));
        makeFolder(root + "Music");
        makeFile(root + "Music/track01.mp3", 4321987, localMoment(2008, 5, 13, 18, 2, 10));
        fake.setRootPath('D', qpath(root));
        return root;
    }

    std::unique_ptr<TfrmScan> openAndSettle()
    {
        auto frm = std::make_unique<TfrmScan>();
        frm->setProgressInterval(0);
        frm->show();
        EXPECT_TRUE(waitSettled(*frm));
        return frm;
    }

    QStringList archives() const
    {
        QStringList found;
        catalog::Catalog(catalog).walk([&](const QString &p) {
            found << p;
            return true;
        });
        return found;
    }

    FakeDriveSystem fake;
    QString catalog;
    std::vector<std::pair<MsgKind, QString>> boxes;
};

} // namespace

TEST_F(ScanWindowTest, ANewDiscIsOfferedForMarkingAndSaved)
{
    insertDisc("newdisc");
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("Ambrylog"));
    EXPECT_EQ(child<QLabel>(frm.get(), "Label2")->text(), QStringLiteral("Scanning and enter data"));
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(),
              QStringLiteral("Mark the CD/DVD with label: CD No: 1\nor type in the below Mark field what the "
                             "CD/DVD is already marked."));
    auto *mark = child<QLineEdit>(frm.get(), "edtMark");
    auto *ok = child<QPushButton>(frm.get(), "btnOk");
    auto *cancel = child<QPushButton>(frm.get(), "btnCancel");
    EXPECT_EQ(mark->text(), QStringLiteral("CD No: 1"));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(child<QWidget>(frm.get(), "pnlEdit")->isVisible());
    EXPECT_FALSE(child<QWidget>(frm.get(), "pnlProgress")->isVisible());
    EXPECT_TRUE(frm->editMode());
    EXPECT_TRUE(frm->ejectOnClose());
    for (const char *name : {"edtMark", "edtLocation", "edtNote"})
        EXPECT_EQ(child<QLineEdit>(frm.get(), name)->maxLength(), 255);

    // Blank marks keep OK disabled.
    mark->setText(QStringLiteral("   "));
    EXPECT_FALSE(ok->isEnabled());
    mark->setText(QStringLiteral("  Holiday 2008 "));
    EXPECT_TRUE(ok->isEnabled());
    child<QLineEdit>(frm.get(), "edtLocation")->setText(QStringLiteral("Shelf A"));
    child<QLineEdit>(frm.get(), "edtNote")->setText(QStringLiteral(" Holiday music"));
    const QByteArray records = frm->session().walker().records();
    ok->click();

    // Saved: the tray opens at once, and the window says what went into the catalog for a
    // moment (or until the user closes it).
    EXPECT_EQ(frm->state(), State::Saved);
    EXPECT_TRUE(frm->isVisible());
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(),
              QStringLiteral("Saved to the catalog:\n") + scantext::catalogued(3, 1, 4322188));
    EXPECT_FALSE(child<QWidget>(frm.get(), "pnlEdit")->isVisible());
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(cancel->text(), QStringLiteral("Close"));
    EXPECT_TRUE(cancel->hasFocus());
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    cancel->click();
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_TRUE(boxes.empty());
    const QString path = catalog + checksumOfBytes(records) + QStringLiteral(".dat");
    EXPECT_EQ(frm->session().savedPath(), path);
    ASSERT_TRUE(QFileInfo::exists(path));
    const QByteArray bytes = ambrytest::readFile(path);
    ASSERT_TRUE(bytes.startsWith(records));
    const QList<QByteArray> fields = bytes.mid(records.size()).split('\n');
    const QList<QByteArray> keys = {"ADate=", "AMark=", "ALocation=", "ACRC=",    "AFiles=",   "ADirs=",
                                    "ANote=", "ASize=", "ANumber=",   "ASource=", "APicture=", "AEnd="};
    ASSERT_EQ(fields.size(), keys.size() + 1);
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_TRUE(fields[i].startsWith(keys[i])) << fields[i].toStdString();
    EXPECT_EQ(fields[1], "AMark=Holiday 2008\r");
    EXPECT_EQ(fields[2], "ALocation=Shelf A\r");
    EXPECT_EQ(fields[4], "AFiles=3\r");
    EXPECT_EQ(fields[5], "ADirs=1\r");
    EXPECT_EQ(fields[6], "ANote=Holiday music\r");
    EXPECT_EQ(fields[7], "ASize=4322188\r");
    EXPECT_EQ(fields[8], "ANumber=1\r");
    EXPECT_EQ(ReadSetting(kV, QStringLiteral("LastArchiveNumber")), QStringLiteral("1"));
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    // No scratch file is left in (or was needed in) the catalog folder.
    EXPECT_EQ(archives(), QStringList{path});
}

TEST_F(ScanWindowTest, TheSameDiscAgainIsRecognisedByItsRecords)
{
    insertDisc("again");
    {
        auto first = openAndSettle();
        ASSERT_EQ(first->state(), State::MarkEntry);
        child<QLineEdit>(first.get(), "edtMark")->setText(QStringLiteral("  Old mark "));
        child<QPushButton>(first.get(), "btnOk")->click();
    }
    fake.clearDoorCalls();
    ASSERT_EQ(archives().size(), 1);

    auto second = openAndSettle();
    ASSERT_EQ(second->state(), State::AlreadyArchived);
    EXPECT_EQ(child<QLabel>(second.get(), "lblMsg")->text(),
              QStringLiteral("CD/DVD is already archived under: \nOld mark"));
    EXPECT_EQ(second->session().message(), QStringLiteral("CD/DVD is already archived under: \r\nOld mark"));
    auto *cancel = child<QPushButton>(second.get(), "btnCancel");
    EXPECT_EQ(cancel->text(), QStringLiteral("Close"));
    EXPECT_FALSE(child<QWidget>(second.get(), "pnlEdit")->isVisible());
    EXPECT_FALSE(child<QPushButton>(second.get(), "btnOk")->isEnabled());
    // Enter presses the focused Close button.
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !second->isVisible(); }));
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    EXPECT_EQ(archives().size(), 1);
}

TEST_F(ScanWindowTest, TheSavedWindowClosesByItselfOrAtOnceOnAnyKey)
{
    const auto save = [&](int shownMs) {
        auto frm = openAndSettle();
        frm->setSavedShownMs(shownMs);
        child<QLineEdit>(frm.get(), "edtMark")->setText(QStringLiteral("Disc %1").arg(archives().size()));
        child<QPushButton>(frm.get(), "btnOk")->click();
        EXPECT_EQ(frm->state(), State::Saved);
        return frm;
    };
    insertDisc("selfclose", 2);
    {
        auto frm = save(300);
        QElapsedTimer shown;
        shown.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !frm->isVisible(); }, 5000));
        EXPECT_GE(shown.elapsed(), 250) << "by itself after the moment";
        EXPECT_EQ(frm->result(), QDialog::Rejected);
    }
    insertDisc("keyclose", 3);
    {
        auto frm = save(60000);
        QTest::keyClick(frm.get(), Qt::Key_Space);
        EXPECT_FALSE(frm->isVisible()) << "at once on a key";
        EXPECT_EQ(frm->result(), QDialog::Rejected);
    }
    EXPECT_EQ(archives().size(), 2);
    EXPECT_EQ(fake.doorCalls().size(), 2) << "the tray opened once for each save";
}

TEST_F(ScanWindowTest, FinalStatesWithoutSaving)
{
    struct Case
    {
        const char *what;
        std::function<void(ScanWindowTest &)> prepare;
        State state;
        QString message;
    };
    const std::vector<Case> cases = {
        {"audio disc",
         [](ScanWindowTest &t) {
             t.insertDisc("audio");
             t.fake.setAudio('D', true);
         },
         State::AudioDisc,
         QStringLiteral("Disk is an Audio CD/DVD.\nPlease use only CD/DVD that contains data or Mp3 files.")},
        {"empty disc",
         [](ScanWindowTest &t) {
             const std::string root = newRoot("empty");
             makeFolder(root + "only-a-folder");
             t.fake.setRootPath('D', qpath(root));
         },
         State::Empty, QStringLiteral("Disk is empty.")},
        {"drive without a disc", [](ScanWindowTest &t) { t.fake.setRootPath('D', QString()); }, State::Empty,
         QStringLiteral("Disk is empty.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake.setAudio('D', false);
        fake.clearDoorCalls();
        DeleteSetting(kV, QStringLiteral("HostageFile"));
        c.prepare(*this);
        auto frm = openAndSettle();
        EXPECT_EQ(frm->state(), c.state);
        EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(), c.message);
        EXPECT_EQ(child<QPushButton>(frm.get(), "btnCancel")->text(), QStringLiteral("Close"));
        EXPECT_FALSE(child<QPushButton>(frm.get(), "btnOk")->isEnabled());
        EXPECT_FALSE(child<QWidget>(frm.get(), "pnlEdit")->isVisible());
        EXPECT_TRUE(frm->ejectOnClose());
        EXPECT_TRUE(fake.doorCalls().isEmpty());
        if (c.state == State::AudioDisc) { // refused before any walk
            EXPECT_TRUE(ReadSetting(kV, QStringLiteral("HostageFile")).isEmpty());
        }
        // Escape is the Close button.
        QTest::keyClick(frm.get(), Qt::Key_Escape);
        EXPECT_FALSE(frm->isVisible());
        EXPECT_EQ(frm->result(), QDialog::Rejected);
        EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
        EXPECT_TRUE(archives().isEmpty());
    }
}

TEST_F(ScanWindowTest, AMarkInUseIsRefusedAndTheWalkIsNotRepeated)
{
    writeArchive(catalog + QStringLiteral("111.dat"), QStringLiteral("Shelf Disc"), 4);
    insertDisc("markused");
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    EXPECT_EQ(child<QLineEdit>(frm.get(), "edtMark")->text(), QStringLiteral("CD No: 5"));

    int walksSeen = 0;
    QObject::connect(frm.get(), &TfrmScan::scanProgress, [&](qint64 files, qint64) {
        if (files == 0)
            ++walksSeen;
    });
    auto *mark = child<QLineEdit>(frm.get(), "edtMark");
    child<QLineEdit>(frm.get(), "edtLocation")->setText(QStringLiteral("Box 3"));
    mark->setText(QStringLiteral("shelf disc"));
    child<QPushButton>(frm.get(), "btnOk")->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, QStringLiteral("The mark already exists!"));
    EXPECT_TRUE(frm->isVisible());
    EXPECT_EQ(frm->state(), State::MarkEntry);
    EXPECT_EQ(archives().size(), 1);

    // The mark is stored trimmed, so blanks around a mark in use do not make it another one.
    mark->setText(QStringLiteral("  SHELF DISC \t"));
    child<QPushButton>(frm.get(), "btnOk")->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].second, QStringLiteral("The mark already exists!"));
    EXPECT_EQ(archives().size(), 1);
    boxes.pop_back();
    mark->setText(QStringLiteral("shelf disc"));

    // The box closing activates the window again: nothing is walked or reset.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(frm.get(), &activate);
    frm->hide();
    frm->show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(walksSeen, 0);
    EXPECT_EQ(mark->text(), QStringLiteral("shelf disc"));
    EXPECT_EQ(child<QLineEdit>(frm.get(), "edtLocation")->text(), QStringLiteral("Box 3"));

    // Another mark goes through.
    mark->setText(QStringLiteral("Shelf Disc 2"));
    child<QPushButton>(frm.get(), "btnOk")->click();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(frm->state(), State::Saved);
    ASSERT_EQ(archives().size(), 2);
    const QString saved = frm->session().savedPath();
    EXPECT_EQ(ReadArchiveValue(saved, QStringLiteral("AMark")), QStringLiteral("Shelf Disc 2"));
    EXPECT_EQ(ReadArchiveValue(saved, QStringLiteral("ANumber")), QStringLiteral("5"));
    EXPECT_EQ(ReadArchiveValue(saved, QStringLiteral("ALocation")), QStringLiteral("Box 3"));
}

TEST_F(ScanWindowTest, NumberingFollowsTheCatalogThenTheLastNumberSaved)
{
    struct Case
    {
        const char *what;
        std::vector<int> numbers; // archives already in the catalog
        QString lastSaved;
        QString proposed;
    };
    const std::vector<Case> cases = {
        {"empty catalog, nothing saved", {}, QString(), QStringLiteral("CD No: 1")},
        {"empty catalog, saved before", {}, QStringLiteral("41"), QStringLiteral("CD No: 42")},
        {"highest in the catalog wins", {5, 12, 3}, QStringLiteral("99"), QStringLiteral("CD No: 13")},
    };
    int disc = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        catalog = ambrytest::makeTempDir(QStringLiteral("numbering")) + QLatin1Char('/');
        gVars().catalogFolder = catalog;
        int n = 0;
        for (int number : c.numbers)
            writeArchive(catalog + QString::number(++n) + QStringLiteral(".dat"),
                         QStringLiteral("Disc ") + QString::number(number), number);
        if (c.lastSaved.isEmpty())
            DeleteSetting(kV, QStringLiteral("LastArchiveNumber"));
        else
            WriteSetting(kV, QStringLiteral("LastArchiveNumber"), c.lastSaved);
        ++disc;
        insertDisc(("numbering" + std::to_string(disc)).c_str(), disc);
        auto frm = openAndSettle();
        ASSERT_EQ(frm->state(), State::MarkEntry);
        EXPECT_EQ(child<QLineEdit>(frm.get(), "edtMark")->text(), c.proposed);
        // Another mark still gets the proposed number.
        child<QLineEdit>(frm.get(), "edtMark")->setText(QStringLiteral("My own mark"));
        child<QPushButton>(frm.get(), "btnOk")->click();
        const QString number = c.proposed.mid(7);
        EXPECT_EQ(ReadArchiveValue(frm->session().savedPath(), QStringLiteral("ANumber")), number);
        EXPECT_EQ(ReadArchiveValue(frm->session().savedPath(), QStringLiteral("AMark")),
                  QStringLiteral("My own mark"));
        EXPECT_EQ(ReadSetting(kV, QStringLiteral("LastArchiveNumber")), number);
    }
}

TEST_F(ScanWindowTest, CancelDuringTheWalkStopsItWithoutOpeningTheTray)
{
    const std::string root = insertDisc("cancelwalk", 30);
    makeFolder(root + "Music/deeper");
    makeFile(root + "Music/deeper/never.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    auto frm = std::make_unique<TfrmScan>();
    frm->setProgressInterval(0);
    int clicks = 0;
    QObject::connect(frm.get(), &TfrmScan::scanProgress, [&](qint64 files, qint64) {
        if (files == 5 && clicks++ == 0) {
            EXPECT_EQ(frm->state(), State::Scanning);
            EXPECT_TRUE(child<QWidget>(frm.get(), "pnlProgress")->isVisible());
            EXPECT_EQ(child<QProgressBar>(frm.get(), "ProgressBar1")->value(), 5);
            EXPECT_TRUE(child<QLabel>(frm.get(), "lblCounts")->text().startsWith(QStringLiteral("Files: 5")));
            const QString out = qEnvironmentVariable("AMBRY_SCAN_GRAB_WALK");
            if (!out.isEmpty())
                frm->grab().save(out);
            child<QPushButton>(frm.get(), "btnCancel")->click();
        }
    });
    frm->show();
    ASSERT_TRUE(waitSettled(*frm));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(frm->state(), State::Aborted);
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(), QStringLiteral("Aborted."));
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_FALSE(frm->ejectOnClose());
    // The root's files are all there; no subfolder was entered.
    EXPECT_EQ(frm->session().walker().counts().files, 30);
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    EXPECT_TRUE(archives().isEmpty());
}

namespace {
// Clicks the button at the first event delivered after its caption became "Close", that is
// while the window lets pending events run on its way into a final state.
class ClickOnClose : public QObject
{
public:
    explicit ClickOnClose(QPushButton *b) : button(b) {}
    QPushButton *button;
    bool clicked = false;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        if (!clicked && button->text() == QLatin1String("Close")) {
            clicked = true;
            button->click();
        }
        return false;
    }
};
} // namespace

TEST_F(ScanWindowTest, CloseClickedAsAFinalStateIsReachedOpensTheTray)
{
    struct Case
    {
        const char *what;
        bool audio;
        bool emptyDisc;
        State state;
    };
    const Case cases[] = {
        {"audio disc", true, false, State::AudioDisc},
        {"empty disc", false, true, State::Empty},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake.clearDoorCalls();
        fake.setAudio('D', c.audio);
        if (c.emptyDisc)
            fake.setRootPath('D', QString());
        else
            insertDisc("closeearly");
        auto frm = std::make_unique<TfrmScan>();
        frm->setProgressInterval(0);
        ClickOnClose clicker(child<QPushButton>(frm.get(), "btnCancel"));
        qApp->installEventFilter(&clicker);
        frm->show();
        waitSettled(*frm);
        qApp->removeEventFilter(&clicker);
        EXPECT_TRUE(clicker.clicked);
        EXPECT_EQ(frm->state(), c.state);
        EXPECT_FALSE(frm->isVisible());
        EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    }
    fake.setAudio('D', false);
}

TEST_F(ScanWindowTest, ADiscTakenOutDuringTheWalkIsNotOfferedForSaving)
{
    const std::string root = insertDisc("takenout", 6);
    auto frm = std::make_unique<TfrmScan>();
    frm->setProgressInterval(0);
    bool gone = false;
    QObject::connect(frm.get(), &TfrmScan::scanProgress, [&](qint64 files, qint64) {
        if (files == 2 && !gone) {
            gone = true;
            removeTree(root);
        }
    });
    frm->show();
    ASSERT_TRUE(waitSettled(*frm));
    EXPECT_TRUE(gone);
    EXPECT_EQ(frm->state(), State::Aborted);
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(), QStringLiteral("Aborted."));
    EXPECT_EQ(child<QPushButton>(frm.get(), "btnCancel")->text(), QStringLiteral("Close"));
    EXPECT_FALSE(child<QWidget>(frm.get(), "pnlEdit")->isVisible());
    EXPECT_FALSE(child<QPushButton>(frm.get(), "btnOk")->isEnabled());
    EXPECT_TRUE(frm->isVisible());
    child<QPushButton>(frm.get(), "btnCancel")->click();
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    EXPECT_TRUE(archives().isEmpty());
}

TEST_F(ScanWindowTest, CancelBeforeTheWalkStartsIsNotLost)
{
    // A click that lands while the window gets ready (the first pending events it lets run)
    // closes the window; no walk may then run on behind it.
    const std::string root = insertDisc("cancelearly", 5);
    makeFolder(root + "Music/deeper");
    makeFile(root + "Music/deeper/never.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    auto frm = std::make_unique<TfrmScan>();
    frm->setProgressInterval(0);
    frm->show(); // the session's steps are queued now
    QTimer::singleShot(0, frm.get(), [&] { child<QPushButton>(frm.get(), "btnCancel")->click(); });
    ASSERT_TRUE(waitSettled(*frm));
    EXPECT_EQ(frm->state(), State::Aborted);
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_EQ(frm->session().walker().counts().files, 0);
    EXPECT_TRUE(ReadSetting(kV, QStringLiteral("HostageFile")).isEmpty());
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    EXPECT_TRUE(archives().isEmpty());
}

TEST_F(ScanWindowTest, ClosingByTheTitleBarLetsTheWalkFinishAndLeavesTheTray)
{
    insertDisc("closewalk", 10);
    auto frm = std::make_unique<TfrmScan>();
    frm->setProgressInterval(0);
    bool closed = false;
    QObject::connect(frm.get(), &TfrmScan::scanProgress, [&](qint64 files, qint64) {
        if (files == 3 && !closed) {
            closed = true;
            frm->close();
        }
    });
    frm->show();
    ASSERT_TRUE(waitSettled(*frm));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_EQ(frm->session().walker().counts().files, 11); // the walk ran to its end
    EXPECT_FALSE(frm->session().walker().cancelRequested());
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    EXPECT_TRUE(archives().isEmpty());
}

TEST_F(ScanWindowTest, EnterMovesBetweenTheFields)
{
    insertDisc("enter");
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    frm->activateWindow();
    auto *mark = child<QLineEdit>(frm.get(), "edtMark");
    auto *location = child<QLineEdit>(frm.get(), "edtLocation");
    auto *note = child<QLineEdit>(frm.get(), "edtNote");
    mark->setFocus();
    QTest::keyClick(mark, Qt::Key_Return);
    EXPECT_TRUE(location->hasFocus());
    QTest::keyClick(location, Qt::Key_Enter);
    EXPECT_TRUE(note->hasFocus());
    QTest::keyClick(note, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(location->hasFocus());
    QTest::keyClick(location, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(mark->hasFocus());
    EXPECT_TRUE(frm->isVisible()) << "Enter must neither save nor close";
    EXPECT_TRUE(archives().isEmpty());
}

TEST_F(ScanWindowTest, AFailedSaveKeepsTheWindowOpenForAnotherTry)
{
    insertDisc("failsave");
    // A catalog folder below a plain file can never be written, not even by root.
    const QString blocker = ambrytest::makeTempDir(QStringLiteral("blocked")) + QStringLiteral("/file");
    ambrytest::writeFile(blocker, "x");
    catalog = blocker + QStringLiteral("/Archive/");
    gVars().catalogFolder = catalog;
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    child<QPushButton>(frm.get(), "btnOk")->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, MsgKind::Error);
    EXPECT_TRUE(frm->isVisible());
    EXPECT_EQ(frm->state(), State::MarkEntry);
    EXPECT_TRUE(frm->session().savedPath().isEmpty());
    EXPECT_TRUE(child<QPushButton>(frm.get(), "btnOk")->isEnabled());
    EXPECT_TRUE(fake.doorCalls().isEmpty());
}

TEST_F(ScanWindowTest, OkWaitsForAnotherWriterThenLooksAgain)
{
    insertDisc("lockwait");
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    auto *ok = child<QPushButton>(frm.get(), "btnOk");

    // Another copy holds the catalog: OK waits with the busy cursor, then says so.
    CatalogLock::setWaitMsForTesting(300);
    {
        const ambrytest::ChildHolding other([this] { return (new CatalogLock(catalog))->tryAcquire(); });
        ASSERT_TRUE(other.holds());
        bool busyCursor = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            busyCursor = busyCursor || (QApplication::overrideCursor() &&
                                        QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        });
        probe.start(20);
        ok->click();
        EXPECT_TRUE(busyCursor);
    }
    CatalogLock::setWaitMsForTesting(0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, QStringLiteral("The catalog is in use by another Ambrylog."));
    EXPECT_EQ(frm->state(), State::MarkEntry);
    EXPECT_TRUE(archives().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Meanwhile another add saved this very disc: OK finds it under the lock.
    writeArchive(catalog + frm->session().checksum() + QStringLiteral(".dat"),
                 QStringLiteral("Saved Elsewhere"), 9);
    ok->click();
    EXPECT_EQ(frm->state(), State::AlreadyArchived);
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(),
              QStringLiteral("CD/DVD is already archived under: \nSaved Elsewhere"));
    EXPECT_FALSE(child<QWidget>(frm.get(), "pnlEdit")->isVisible());
    EXPECT_EQ(child<QPushButton>(frm.get(), "btnCancel")->text(), QStringLiteral("Close"));
    EXPECT_EQ(archives().size(), 1);
}

TEST_F(ScanWindowTest, FoldersThatCannotBeReadAreNamedUnderTheMessage)
{
    const std::string root = insertDisc("unreadable");
    makeFolder(root + "locked");
    openToOthers(root);
    ASSERT_EQ(::chmod((root + "locked").c_str(), 0), 0);
    std::unique_ptr<TfrmScan> frm;
    {
        const UnprivilegedFiles asUser;
        frm = openAndSettle();
    }
    ::chmod((root + "locked").c_str(), 0755);
    ASSERT_EQ(frm->state(), State::MarkEntry);
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->text(),
              QStringLiteral(
                  "Mark the CD/DVD with label: CD No: 1\nor type in the below Mark field what the CD/DVD "
                  "is already marked.\n1 folder could not be read."));
}

TEST_F(ScanWindowTest, RunAddDiscSessionShowsOneWindowModallyAndEndsWithCancel)
{
    insertDisc("modal");
    ModalResult nested = ModalResult::Ok;
    bool clicked = false;
    QObject guard; // no poll outlives the test
    std::function<void()> poll = [&] {
        TfrmScan *frm = TfrmScan::openWindow();
        if (frm && frm->state() == State::MarkEntry) {
            EXPECT_TRUE(frm->isModal());
            nested = RunAddDiscSession().modalResult; // a second session while one is open returns at once
            child<QPushButton>(frm, "btnOk")->click();
            child<QPushButton>(frm, "btnCancel")->click(); // Close, after the save
            clicked = true;
            return;
        }
        QTimer::singleShot(10, &guard, poll);
    };
    QTimer::singleShot(0, &guard, poll);
    const AddDiscResult result = RunAddDiscSession();
    EXPECT_EQ(result.modalResult, ModalResult::Cancel);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(nested, ModalResult::None);
    EXPECT_EQ(TfrmScan::openWindow(), nullptr);
    EXPECT_TRUE(QFileInfo::exists(result.savedPath));
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
}

TEST_F(ScanWindowTest, LookOfTheWindow)
{
    insertDisc("look");
    auto frm = openAndSettle();
    const QWidget *top = child<QWidget>(frm.get(), "Panel1");
    EXPECT_EQ(top->height(), 25);
    EXPECT_EQ(top->palette().color(QPalette::Window), QColor(0, 95, 140));
    EXPECT_EQ(child<QLabel>(frm.get(), "Label2")->palette().color(QPalette::WindowText),
              QColor(249, 253, 255));
    EXPECT_EQ(child<QLabel>(frm.get(), "Label2")->font().pixelSize(), 16);
    EXPECT_TRUE(child<QLabel>(frm.get(), "lblMsg")->font().bold());
    EXPECT_TRUE(child<QLabel>(frm.get(), "lblMsg")->wordWrap());
    EXPECT_EQ(child<QLabel>(frm.get(), "lblMsg")->alignment(), Qt::AlignCenter);
    EXPECT_EQ(frm->minimumSize(), frm->maximumSize()); // fixed size
    EXPECT_EQ(child<QWidget>(frm.get(), "Panel2")->palette().color(QPalette::Window), QColor(0, 95, 140));
    EXPECT_EQ(frm->palette().color(QPalette::Window), QColor(Qt::white));
    const QPushButton *ok = child<QPushButton>(frm.get(), "btnOk");
    const QPushButton *cancel = child<QPushButton>(frm.get(), "btnCancel");
    EXPECT_LT(ok->x(), cancel->x());
    EXPECT_GT(ok->x(), frm->width() / 2) << "buttons sit at the right";
    const QString out = qEnvironmentVariable("AMBRY_SCAN_GRAB");
    if (!out.isEmpty())
        frm->grab().save(out);
}

namespace {
// Lets filters installed later (the window's) see a quit request, then keeps it from the
// application object, which would end every event loop of the test process.
class SwallowQuit : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Quit; }
};
} // namespace

TEST_F(ScanWindowTest, TheApplicationClosingStopsTheWalk)
{
    const std::string root = insertDisc("quitwalk", 10);
    makeFolder(root + "Music/deeper");
    makeFile(root + "Music/deeper/never.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    SwallowQuit swallow;
    qApp->installEventFilter(&swallow);
    auto frm = std::make_unique<TfrmScan>();
    frm->setProgressInterval(0);
    bool sent = false;
    QObject::connect(frm.get(), &TfrmScan::scanProgress, [&](qint64 files, qint64) {
        if (files == 2 && !sent) {
            sent = true;
            QEvent quit(QEvent::Quit); // what the application object receives on a quit request
            QCoreApplication::sendEvent(qApp, &quit);
        }
    });
    frm->show();
    ASSERT_TRUE(waitSettled(*frm));
    qApp->removeEventFilter(&swallow);
    EXPECT_TRUE(sent);
    EXPECT_EQ(frm->state(), State::Aborted);
    EXPECT_EQ(frm->session().walker().counts().files, 10);
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    EXPECT_TRUE(archives().isEmpty());
}

TEST_F(ScanWindowTest, EscapeInAFieldClosesTheWindowAndHandsTheDiscBack)
{
    insertDisc("escfield");
    auto frm = openAndSettle();
    ASSERT_EQ(frm->state(), State::MarkEntry);
    auto *note = child<QLineEdit>(frm.get(), "edtNote");
    note->setFocus();
    QTest::keyClick(note, Qt::Key_Escape);
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    EXPECT_TRUE(archives().isEmpty());
}

// Waits, adds, and waits again as the main window's consecutive adding does, with the real
// windows: the disc just added is held hostage until another disc arrives.
TEST_F(ScanWindowTest, DiscsAddedOneAfterAnother)
{
    const std::string first = insertDisc("road-first", 1);
    DeleteSetting(kV, QStringLiteral("HostageFile"));
    QObject guard;
    // Saves the open session's disc under the proposed mark as soon as it is offered.
    std::function<void()> acceptMark = [&] {
        TfrmScan *frm = TfrmScan::openWindow();
        if (frm && frm->state() == State::MarkEntry) {
            child<QPushButton>(frm, "btnOk")->click();
            child<QPushButton>(frm, "btnCancel")->click(); // Close, after the save
            return;
        }
        QTimer::singleShot(10, &guard, acceptMark);
    };
    auto waitingWindow = []() -> QDialog * {
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget *w : all)
            if (w->objectName() == QLatin1String("frmWaitCD") && w->isVisible())
                return static_cast<QDialog *>(w);
        return nullptr;
    };

    // A fresh disc is in: the wait ends by itself, and the session saves it.
    EXPECT_EQ(WaitForDisc(QString()), ModalResult::Ok);
    EXPECT_TRUE(fake.doorCalls().isEmpty());
    QTimer::singleShot(0, &guard, acceptMark);
    const QString firstArchive = RunAddDiscSession().savedPath;
    ASSERT_TRUE(QFileInfo::exists(firstArchive));
    EXPECT_EQ(ReadArchiveValue(firstArchive, QStringLiteral("AMark")), QStringLiteral("CD No: 1"));
    EXPECT_EQ(ReadSetting(kV, QStringLiteral("HostageFile")), qpath(first + "file0.txt"));

    // The same disc still in: the tray opens and the wait goes on until another disc arrives.
    fake.clearDoorCalls();
    const std::string second = insertDisc("road-second", 2);
    fake.setRootPath('D', qpath(first));
    bool sawWaiting = false;
    QTimer::singleShot(50, &guard, [&] {
        sawWaiting = waitingWindow() != nullptr;
        fake.setRootPath('D', qpath(second));
        fake.emitArrival('D');
    });
    EXPECT_EQ(WaitForDisc(QString()), ModalResult::Ok);
    EXPECT_TRUE(sawWaiting);
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    EXPECT_TRUE(ReadSetting(kV, QStringLiteral("HostageFile")).isEmpty());
    QTimer::singleShot(0, &guard, acceptMark);
    const QString secondArchive = RunAddDiscSession().savedPath;
    ASSERT_NE(secondArchive, firstArchive);
    EXPECT_EQ(ReadArchiveValue(secondArchive, QStringLiteral("AMark")), QStringLiteral("CD No: 2"));
    EXPECT_EQ(ReadSetting(kV, QStringLiteral("HostageFile")), qpath(second + "file0.txt"));

    // And again: the second disc is now the hostage; cancelling the wait ends the run.
    fake.clearDoorCalls();
    QTimer::singleShot(50, &guard, [&] {
        if (QDialog *w = waitingWindow())
            QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(WaitForDisc(QString()), ModalResult::Cancel);
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    EXPECT_EQ(archives().size(), 2);
}

// The window on a disc image: the image's path stands in the location field, the save says the
// archive came from an image, the drive's tray is never touched; a file that is no image is
// told and nothing is saved.
TEST_F(ScanWindowTest, ADiscImageIsOfferedWithItsPathAsLocation)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const std::string root = insertDisc("imagetree");
    const QString image = ambrytest::imageOf(root);
    ASSERT_FALSE(image.isEmpty());

    TfrmScan frm(AddDiscSession::forImage(image, catalog::programCatalog()));
    frm.setProgressInterval(0);
    frm.show();
    ASSERT_TRUE(waitSettled(frm));
    ASSERT_EQ(frm.state(), State::MarkEntry);
    EXPECT_EQ(child<QLineEdit>(&frm, "edtLocation")->text(), image);
    QTest::mouseClick(child<QPushButton>(&frm, "btnOk"), Qt::LeftButton);
    ASSERT_EQ(frm.state(), State::Saved);
    EXPECT_EQ(ReadArchiveValue(frm.session().savedPath(), QStringLiteral("ASource")),
              QStringLiteral("Image"));
    EXPECT_EQ(ReadArchiveValue(frm.session().savedPath(), QStringLiteral("ALocation")), image);
    EXPECT_TRUE(fake.doorCalls().isEmpty());

    const QString notAnImage = catalog + QStringLiteral("notes.iso");
    ambrytest::writeFile(notAnImage, "just text");
    TfrmScan bad(AddDiscSession::forImage(notAnImage, catalog::programCatalog()));
    bad.show();
    ASSERT_TRUE(waitSettled(bad));
    EXPECT_EQ(bad.state(), State::Unreadable);
    EXPECT_EQ(child<QLabel>(&bad, "lblMsg")->text(), isoimage::notAnImage(notAnImage));
    EXPECT_EQ(child<QPushButton>(&bad, "btnCancel")->text(), QStringLiteral("Close"));
    EXPECT_EQ(archives().size(), 1);
}
