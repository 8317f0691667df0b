// Getting a catalogued file from its disc without a window: the look on the read device, the
// request by mark, the look after the wait, and the wrong disc.

#include "TestSupport.h"

#include "drives/DiscWait.h"
#include "drives/testing/FakeDriveSystem.h"
#include "search/RetrievalSession.h"
#include "util/AmbryError.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>

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

} // namespace
