#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/CatalogBackup.h"
#include "catalog/Archive.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/ProgramCatalog.h"
#include "drives/HostageFile.h"
#include "scan/AddDiscSession.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

// Writers of the catalog killed at random moments: whatever moment the kill comes, the
// catalog holds only whole, readable archives, no number or mark twice, a settings file that
// reads, and no temporary file once the next writer has taken the lock.

namespace {

struct Scene
{
    QString catalog;
    QString discs;   // where the changes make their discs
    QString zip;     // a backup that the restores restore
    QString backups; // where the backups write
};

// One kind of change a child repeats until it is killed. To try another (edit, remove,
// restore, merge), add an entry to changes(): step() makes one change of that kind, starting
// from whatever the catalog holds; it may throw AmbryError, which counts as a refusal.
struct Change
{
    const char *name;
    std::function<void(const Scene &, std::mt19937 &, int serial)> step;
};

// A new disc of a few files whose sizes make it unlike any other, added as the command does.
void addDisc(const QString &catalogFolder, const QString &discs, std::mt19937 &rng, int serial)
{
    const QString disc = discs + QStringLiteral("/d%1-%2").arg(::getpid()).arg(serial);
    QDir().mkpath(disc + QStringLiteral("/sub"));
    for (int f = 0; f < 3; ++f) {
        QFile file(disc + (f ? QStringLiteral("/sub/f%1").arg(f) : QStringLiteral("/top")));
        if (file.open(QIODevice::WriteOnly))
            file.resize(qint64(rng() % 100000) + serial * 7 + f);
    }
    AddDiscSession session = AddDiscSession::forFolder(
        disc, catalog::Catalog(catalogFolder, catalog::settingsNumberStore()), settingsHostageFile());
    if (session.scan() == AddDiscSession::Outcome::MarkEntry)
        session.save(std::nullopt, QStringLiteral("Shelf"), QStringLiteral("kill test"));
}

void addStep(const Scene &s, std::mt19937 &rng, int serial)
{
    addDisc(s.catalog, s.discs, rng, serial);
}

void restoreStep(const Scene &s, std::mt19937 &, int)
{
    backup::RestoreJob job(catalog::Catalog(s.catalog), s.zip);
    if (job.prepare(Progress()) == backup::Outcome::Done)
        job.commit();
}

// A catalog of its own grows by a disc, whose marks and numbers are those the catalog uses
// ("CD No: 1", ...), and is merged whole: the discs merged before are skipped.
void mergeStep(const Scene &s, std::mt19937 &rng, int serial)
{
    const QString own = s.discs + QStringLiteral("/merged-%1").arg(::getpid());
    QDir().mkpath(own);
    addDisc(own, s.discs, rng, serial);
    const QString zip = own + QStringLiteral(".zip");
    if (backup::backupCatalog(catalog::Catalog(own), zip, Progress()).outcome ==
        backup::Outcome::Done)
        backup::mergeArchives(catalog::Catalog(s.catalog), zip, Progress());
}

void backupStep(const Scene &s, std::mt19937 &, int)
{
    backup::backupCatalog(catalog::Catalog(s.catalog), s.backups + QStringLiteral("/bk.zip"),
                          Progress());
}

const std::vector<Change> &changes()
{
    static const std::vector<Change> all = {
        {"add", addStep},     {"add", addStep},       {"restore", restoreStep},
        {"merge", mergeStep}, {"backup", backupStep},
    };
    return all;
}

// What a killed writer may leave beside the catalog folder, and beside a backup.
QStringList leftovers(const Scene &s)
{
    const QString name = QFileInfo(s.catalog).fileName();
    const QString parent = QFileInfo(s.catalog).absolutePath();
    QStringList found;
    for (const QString &entry :
         QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (entry.startsWith(QLatin1Char('.') + name + QLatin1Char('.')) ||
            entry.startsWith(QStringLiteral("..") + name + QLatin1Char('.')))
            found << entry;
    for (const QString &entry : QDir(s.backups).entryList(QDir::Files | QDir::Hidden))
        if (entry.contains(QStringLiteral(".part-")))
            found << entry;
    return found;
}

// What must hold after every kill; empty when it does.
QString checkCatalog(const Scene &s)
{
    QStringList problems;
    std::set<QString> marks;
    std::set<QString> numbers;
    catalog::Catalog(s.catalog).walk([&](const QString &path) {
        try {
            const Archive archive = Archive::load(path);
            if (!archive.damage().isEmpty())
                problems << path + QStringLiteral(": ") + archive.damage();
            if (archive.value(u"AEnd") != QLatin1String("EndTag"))
                problems << path + QStringLiteral(": no end");
            if (!marks.insert(archive.value(u"AMark").toUpper()).second)
                problems << path + QStringLiteral(": mark twice: ") + archive.value(u"AMark");
            if (!numbers.insert(archive.value(u"ANumber")).second)
                problems << path + QStringLiteral(": number twice: ") + archive.value(u"ANumber");
        } catch (const AmbryError &e) {
            problems << e.message();
        }
        return true;
    });
    const QString settings = settingsFilePath();
    if (QFileInfo::exists(settings)) {
        QString error;
        if (!writeSettingToBytes(ambrytest::readFile(settings), RegKey::V, QStringLiteral("Probe"),
                                 QStringLiteral("x"), &error))
            problems << QStringLiteral("settings: ") + error;
    }
    if (!QDir(QFileInfo(settings).absolutePath())
             .entryList({QStringLiteral("settings.reg.corrupt-*")})
             .isEmpty())
        problems << QStringLiteral("settings were judged damaged");
    return problems.join(QLatin1Char('\n'));
}

QStringList temporaries(const QString &folder, const QByteArray &suffix)
{
    QStringList found;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (isAtomicTemporaryName(QFile::encodeName(name), suffix))
            found << name;
    return found;
}

} // namespace

TEST(CrashConsistency, WritersKilledAtRandomMomentsLeaveACatalogThatHolds)
{
    const int trials = 200;
    const qint64 budgetMs = 240'000; // a slow machine stops early rather than hang the suite
    const unsigned seed =
        std::getenv("AMBRY_CRASH_SEED") ? unsigned(std::atoi(std::getenv("AMBRY_CRASH_SEED"))) : 20261207u;
    Scene s;
    // A folder of its own: restores keep the old catalog beside it.
    s.catalog = ambrytest::makeTempDir(QStringLiteral("crashcatalog")) + QStringLiteral("/Archive");
    s.discs = ambrytest::makeTempDir(QStringLiteral("crashdiscs"));
    s.backups = ambrytest::makeTempDir(QStringLiteral("crashbackups"));
    std::mt19937 rng(seed);
    {
        const QString seedCatalog = s.discs + QStringLiteral("/seed");
        ASSERT_TRUE(QDir().mkpath(seedCatalog));
        for (int i = 0; i < 3; ++i)
            addDisc(seedCatalog, s.discs, rng, -1 - i);
        s.zip = s.backups + QStringLiteral("/restored.zip");
        ASSERT_EQ(backup::backupCatalog(catalog::Catalog(seedCatalog), s.zip, Progress()).outcome,
                  backup::Outcome::Done);
        ASSERT_TRUE(QDir().mkpath(s.catalog));
    }
    std::map<std::string, int> kills;
    QElapsedTimer clock;
    clock.start();
    int done = 0, leftTemporaries = 0, savedBeforeKill = 0;
    for (; done < trials && clock.elapsed() < budgetMs; ++done) {
        const Change &change = changes()[rng() % changes().size()];
        const unsigned childSeed = unsigned(rng());
        const int killAfterUs = int(rng() % 60000);
        const int archivesBefore = [&] {
            int n = 0;
            catalog::Catalog(s.catalog).walk([&](const QString &) { return ++n > 0; });
            return n;
        }();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::mt19937 own(childSeed);
            for (int serial = done * 1000;; ++serial) {
                try {
                    change.step(s, own, serial);
                } catch (const AmbryError &) {
                }
            }
        }
        ::usleep(useconds_t(killAfterUs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;

        const QString problems = checkCatalog(s);
        ASSERT_TRUE(problems.isEmpty())
            << "trial " << done << " (" << change.name << ", seed " << seed << "):\n"
            << problems.toStdString();
        int archivesAfter = 0;
        catalog::Catalog(s.catalog).walk([&](const QString &) { return ++archivesAfter > 0; });
        savedBeforeKill += archivesAfter - archivesBefore;

        // The next writer clears what the killed one left; the next backup a backup's part file.
        ++kills[change.name];
        leftTemporaries += int(temporaries(s.catalog, QByteArrayLiteral(".dat")).size());
        {
            CatalogLock next(s.catalog);
            ASSERT_TRUE(next.tryAcquire());
        }
        if (std::strcmp(change.name, "backup") == 0)
            backup::backupCatalog(catalog::Catalog(s.catalog), s.backups + QStringLiteral("/bk.zip"),
                                  Progress());
        EXPECT_TRUE(temporaries(s.catalog, QByteArrayLiteral(".dat")).isEmpty()) << "trial " << done;
        EXPECT_EQ(leftovers(s), QStringList()) << "trial " << done << " (" << change.name << ")";
        // The catalogs restores kept are whole, and not the test's to keep.
        const QString parent = QFileInfo(s.catalog).absolutePath();
        for (const QString &kept :
             QDir(parent).entryList({QStringLiteral("Archive before restore*")}, QDir::Dirs))
            QDir(parent + QLatin1Char('/') + kept).removeRecursively();
        WriteSetting(RegKey::V, QStringLiteral("CrashTrial"), QString::number(done));
        EXPECT_TRUE(
            temporaries(QFileInfo(settingsFilePath()).absolutePath(), QByteArrayLiteral(".reg")).isEmpty())
            << "trial " << done;
    }
    EXPECT_GE(done, std::min(trials, 50))
        << "far too slow: " << done << " trials in " << clock.elapsed() << " ms";
    std::printf("crash trials: %d kills (seed %u), %d archives saved before a kill, %d kills left a "
                "temporary archive behind, in %lld ms\n",
                done, seed, savedBeforeKill, leftTemporaries, qint64(clock.elapsed()));
    for (const auto &[name, count] : kills)
        std::printf("  %s killed %d times\n", name.c_str(), count);
}
