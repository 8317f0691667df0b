// The wait for a disc without its window: the decision when it starts (the hostage disc
// included), and the whole wait as the command line runs it. What arrivals mean is checked
// through the wait window (test_waitcd).

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "TestSupport.h"
#include "drives/DiscWait.h"
#include "drives/HostageFile.h"
#include "drives/testing/FakeDriveSystem.h"
#include "settings/SettingsNames.h"
#include "settings/gRegistry.h"

using ambrytest::makeTempDir;
using ambrytest::writeFile;

namespace {

using State = DiscWait::State;

class DiscWaitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake.addFixedDrive('C');
        fake.addOpticalDrive('D');
        fake.addOpticalDrive('F');
        setDriveSystemForTesting(&fake);
        setHostage(QString());
    }
    void TearDown() override { setDriveSystemForTesting(nullptr); }

    void setHostage(const QString &path) { WriteSetting(RegKey::V, RegName::HostageFile, path); }
    // A hostage file that can still be found, as a walk of the disc in the drive leaves it.
    QString heldHostage()
    {
        const QString path = makeTempDir(QStringLiteral("disc")) + QStringLiteral("/readme.txt");
        writeFile(path, "r");
        return path;
    }

    FakeDriveSystem fake;
};

TEST_F(DiscWaitTest, StateWhenTheWaitStarts)
{
    enum Hostage { NoHostage, Held, Gone };
    struct Row
    {
        const char *what;
        char letter;
        bool ready, audio;
        Hostage hostage;
        State expected;
    };
    const Row rows[] = {
        {"no read device", 0, false, false, NoHostage, State::NoDevice},
        {"a letter that is no drive letter", '7', false, false, NoHostage, State::NoDevice},
        {"empty drive", 'D', false, false, NoHostage, State::Waiting},
        {"a letter with no drive behind it yet", 'Q', false, false, NoHostage, State::Waiting},
        {"fresh disc", 'D', true, false, NoHostage, State::DiscPresent},
        {"fresh disc, letter in lower case", 'd', true, false, NoHostage, State::DiscPresent},
        {"the disc handled last", 'D', true, false, Held, State::Waiting},
        {"the disc handled last was taken out", 'D', true, false, Gone, State::DiscPresent},
        {"audio disc: no file system, still a disc", 'D', false, true, NoHostage, State::DiscPresent},
        {"audio disc while the hostage can be found", 'D', false, true, Held, State::Waiting},
        {"empty drive, hostage gone", 'D', false, false, Gone, State::Waiting},
    };
    for (const Row &row : rows) {
        fake.setReady('D', row.ready);
        fake.setAudio('D', row.audio);
        setHostage(row.hostage == Held   ? heldHostage()
                   : row.hostage == Gone ? makeTempDir() + QStringLiteral("/gone.txt")
                                         : QString());
        fake.clearDoorCalls();
        DiscWait wait(row.letter, settingsHostageFile());
        EXPECT_EQ(wait.start(), row.expected) << row.what;
        EXPECT_EQ(wait.state(), row.expected) << row.what;
        // Only a wait that waits opens the tray, and only the read device's.
        const QString upper(QLatin1Char(QChar::fromLatin1(row.letter).toUpper().toLatin1()));
        EXPECT_EQ(fake.doorCalls(), row.expected == State::Waiting
                                        ? QStringList{QStringLiteral("open ") + upper}
                                        : QStringList())
            << row.what;
    }
}

TEST_F(DiscWaitTest, RunWithoutAWindow)
{
    // A fresh disc needs no waiting, and nothing watches for arrivals then.
    fake.setReady('D', true);
    EXPECT_EQ(DiscWait('D', settingsHostageFile()).run(10000), DiscWait::Result::Arrived);
    EXPECT_EQ(fake.monitorStarts(), 0);
    EXPECT_EQ(DiscWait(0, settingsHostageFile()).run(10000), DiscWait::Result::NoDevice);

    fake.setReady('D', false);
    QObject guard;
    bool delivered = false;
    QTimer::singleShot(20, &guard, [&] {
        fake.emitArrival('F'); // another drive does not end it
        delivered = fake.emitArrival('D');
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(DiscWait('D', settingsHostageFile()).run(10000), DiscWait::Result::Arrived);
    EXPECT_TRUE(delivered);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(fake.mediaMonitor()->isStarted());

    QTimer::singleShot(20, &guard, [&] { fake.emitArrival('F'); });
    clock.restart();
    EXPECT_EQ(DiscWait('D', settingsHostageFile()).run(300), DiscWait::Result::TimedOut);
    EXPECT_GE(clock.elapsed(), 250); // coarse timers may fire up to 5 % early
    EXPECT_FALSE(fake.mediaMonitor()->isStarted());
    EXPECT_EQ(fake.monitorStarts(), 2);
    EXPECT_EQ(fake.monitorStops(), 2);
    EXPECT_EQ(fake.doorCalls(), QStringList({QStringLiteral("open D"), QStringLiteral("open D")}));
}

} // namespace

TEST(DiscWaitTexts, KeptAtNamesLocationAndNote)
{
    const struct
    {
        const char *location, *note, *expected;
    } cases[] = {
        {"Shelf B, box 3", "", "Kept at: Shelf B, box 3"},
        {"Shelf B", " lent to Ann ", "Kept at: Shelf B, lent to Ann"},
        {"", "in the car", "Kept at: in the car"},
        {"  ", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DiscWait::keptAt(QString::fromUtf8(c.location), QString::fromUtf8(c.note)),
                  QString::fromUtf8(c.expected));
}
