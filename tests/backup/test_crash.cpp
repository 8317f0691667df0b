#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/CatalogBackup.h"
#include "catalog/CatalogSwap.h"
#include "catalog/Checksum.h"
#include "helper_zips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace backup;
using catalog::finishInterruptedChange;
using catalog::setExchangeUnavailableForTesting;
using catalog::setSwapStepHookForTesting;

// A restore or merge killed at any moment leaves, once the next start has finished what the
// journal names, either the old catalog or the new one, whole; the old one is never lost.

namespace {

enum class Kind { Restore, Merge };

const char *g_crashAt = nullptr;
int g_crashAfter = 0;

void crashAtStep(const char *step)
{
    if (g_crashAt && std::strcmp(step, g_crashAt) == 0 && g_crashAfter-- == 0)
        ::_exit(42);
}

struct Scene
{
    QString root, catalog, zip;
    ziptest::Tree before, restored, merged;
};

Scene makeScene(int archives)
{
    Scene s;
    s.root = ambrytest::makeTempDir(QStringLiteral("crash"));
    s.catalog = s.root + QStringLiteral("/Archive");
    for (int i = 0; i < archives; ++i) {
        const QString name = (i % 3 ? QStringLiteral("") : QStringLiteral("sub/")) +
                             QString::number(1000 + i) + QStringLiteral(".dat");
        s.before.insert(name, ziptest::archiveBytes(QStringLiteral("Old %1").arg(i), i + 1, 40,
                                                    "old" + QByteArray::number(i)));
    }
    QList<ziptest::Entry> entries;
    for (int i = 0; i < archives; ++i) {
        const QByteArray data = ziptest::archiveBytes(QStringLiteral("New %1").arg(i), 500 + i, 40,
                                                      "new" + QByteArray::number(i));
        // Named as a backup names them: by their records' checksum.
        const QByteArray name =
            checksumOfBytes(QByteArrayView(data).first(data.indexOf("ADate="))).toUtf8() + ".dat";
        entries.append({name, data});
        s.restored.insert(QString::fromUtf8(name), data);
    }
    s.merged = s.before;
    s.merged.insert(s.restored);
    s.zip = s.root + QStringLiteral("/backup.zip");
    ambrytest::writeFile(s.zip, ziptest::makeZip(entries));
    return s;
}

void resetCatalog(const Scene &s)
{
    for (const QString &entry : QDir(s.root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        QDir(s.root + QLatin1Char('/') + entry).removeRecursively();
    ziptest::writeTree(s.catalog, s.before);
}

[[noreturn]] void runChild(const Scene &s, Kind kind)
{
    if (kind == Kind::Restore) {
        RestoreJob job(catalog::Catalog(s.catalog), s.zip);
        const bool ok = job.prepare(Progress()) == Outcome::Done && job.commit() == Outcome::Done;
        ::_exit(ok ? 0 : 1);
    }
    ::_exit(mergeArchives(catalog::Catalog(s.catalog), s.zip, Progress()).outcome == Outcome::Done ? 0 : 1);
}

// What the next start finds, after it finished any interrupted change: "old" or "new".
std::string settle(const Scene &s, Kind kind)
{
    finishInterruptedChange(catalog::Catalog(s.catalog));
    const ziptest::Tree now = ziptest::readTree(s.catalog);
    QStringList kept;
    for (const QString &entry : QDir(s.root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        if (entry != QLatin1String("Archive"))
            kept.append(entry);
    if (now == s.before && kept.isEmpty())
        return "old";
    if (kind == Kind::Merge)
        return now == s.merged && kept.isEmpty() ? "new" : "broken";
    if (now == s.restored && kept.size() == 1 &&
        kept.front().startsWith(QLatin1String("Archive before restore ")) &&
        ziptest::readTree(s.root + QLatin1Char('/') + kept.front()) == s.before)
        return "new";
    return "broken: " + kept.join(QLatin1Char(',')).toStdString();
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST(Crash, AtEveryStepOfTheSwapAndTheMove)
{
    const Scene s = makeScene(4);
    struct Case
    {
        Kind kind;
        bool exchange;
        const char *step;
        int after; // occurrences of the step to let pass
        const char *expected;
    };
    const Case cases[] = {
        {Kind::Restore, true, "journal", 0, "old"}, {Kind::Restore, true, "swap", 0, "old"},
        {Kind::Restore, true, "keep", 0, "new"},    {Kind::Restore, true, "done", 0, "new"},
        {Kind::Restore, false, "swap", 0, "old"},   {Kind::Restore, false, "between", 0, "new"},
        {Kind::Restore, false, "done", 0, "new"},   {Kind::Merge, true, "journal", 0, "old"},
        {Kind::Merge, true, "move", 0, "new"},      {Kind::Merge, true, "move", 2, "new"},
        {Kind::Merge, true, "done", 0, "new"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.kind == Kind::Restore ? "restore " : "merge ") +
                     (c.exchange ? "exchange " : "renames ") + c.step + " " + std::to_string(c.after));
        resetCatalog(s);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setExchangeUnavailableForTesting(!c.exchange);
            g_crashAt = c.step;
            g_crashAfter = c.after;
            setSwapStepHookForTesting(crashAtStep);
            runChild(s, c.kind);
        }
        const int status = waitFor(pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 42) << "the step was never reached";
        EXPECT_EQ(settle(s, c.kind), c.expected);
    }
}

// kill -9 at random moments of a whole restore or merge, in a bounded, seeded loop.
TEST(Crash, KilledAtRandomMoments)
{
    const Scene s = makeScene(24);
    std::mt19937 random(20261207);
    QElapsedTimer budget;
    budget.start();
    for (const Kind kind : {Kind::Restore, Kind::Merge}) {
        // How long one undisturbed run takes here, to spread the kills over it.
        resetCatalog(s);
        QElapsedTimer clock;
        clock.start();
        const pid_t full = ::fork();
        ASSERT_GE(full, 0);
        if (full == 0)
            runChild(s, kind);
        ASSERT_EQ(waitFor(full), 0);
        const qint64 runUs = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
        ASSERT_EQ(settle(s, kind), "new");

        int outcomes[2] = {0, 0};
        for (int trial = 0; trial < 20 && budget.elapsed() < 60000; ++trial) {
            SCOPED_TRACE(trial);
            resetCatalog(s);
            const auto delay = std::uniform_int_distribution<qint64>(0, runUs * 11 / 10)(random);
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                setExchangeUnavailableForTesting(trial % 2 == 1);
                runChild(s, kind);
            }
            ::usleep(useconds_t(delay));
            ::kill(pid, SIGKILL);
            waitFor(pid);
            const std::string state = settle(s, kind);
            EXPECT_TRUE(state == "old" || state == "new") << state << " after " << delay << " us";
            ++outcomes[state == "new" ? 1 : 0];
        }
        std::printf("%s: %d old, %d new after a kill (one run takes %lld us)\n",
                    kind == Kind::Restore ? "restore" : "merge", outcomes[0], outcomes[1], (long long)runUs);
    }
}

TEST(Crash, TheNextStartLeavesAChangeInProgressToItsOwner)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("owner"));
    const QString catalog = root + QStringLiteral("/Archive");
    ziptest::writeTree(catalog, {{QStringLiteral("1.dat"), "old"}});
    // Process 1 is always running: a restore it had begun is its own to finish.
    const QString live = root + QStringLiteral("/.Archive.restore-1-abcdef");
    ziptest::writeTree(live, {{QStringLiteral("2.dat"), "new"}});
    const QString journal = root + QStringLiteral("/.Archive.journal");
    ambrytest::writeFile(journal, "kind=restore\nstaging=" + live.toUtf8() + "\nkept=" + root.toUtf8() +
                                      "/Archive before restore 2026-01-01 00-00-00\n");
    EXPECT_EQ(finishInterruptedChange(catalog::Catalog(catalog)), QString());
    EXPECT_TRUE(QFileInfo::exists(journal));
    EXPECT_EQ(ziptest::readTree(live).size(), 1);
    EXPECT_EQ(ziptest::readTree(catalog).size(), 1);

    // A staging folder whose process is gone is a leftover; one whose process runs is not.
    QFile::remove(journal);
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    waitFor(gone);
    const QString dead = root + QStringLiteral("/.Archive.merge-%1-abcdef").arg(gone);
    ziptest::writeTree(dead, {{QStringLiteral("3.dat"), "x"}});
    EXPECT_EQ(finishInterruptedChange(catalog::Catalog(catalog)), QString());
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(live));
    EXPECT_EQ(ziptest::readTree(catalog), (ziptest::Tree{{QStringLiteral("1.dat"), "old"}}));
}
