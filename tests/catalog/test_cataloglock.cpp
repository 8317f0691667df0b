#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/CatalogLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Holder : ambrytest::ChildHolding
{
    explicit Holder(const QString &folder)
        : ChildHolding([folder] { return (new CatalogLock(folder))->tryAcquire(); }), held(holds())
    {}
    void stop(int signal = 0) { release(signal); }
    bool held;
};

} // namespace

TEST(CatalogLock, OneProcessAtATime)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("lock"));
    Holder other(folder);
    ASSERT_TRUE(other.held);

    CatalogLock lock(folder);
    EXPECT_FALSE(lock.tryAcquire());
    EXPECT_EQ(lock.errorText(), QStringLiteral("The catalog is in use by another Ambrylog."));
    QElapsedTimer waited;
    waited.start();
    int calls = 0;
    QString shown;
    Progress waiting;
    waiting.pendingEvents = [&] { ++calls; };
    waiting.report = [&](const QString &what, qint64, qint64) { shown = what; };
    EXPECT_FALSE(lock.acquire(150, waiting));
    EXPECT_GE(waited.elapsed(), 150);
    EXPECT_GT(calls, 0); // a window gets to run its events while it waits
    EXPECT_EQ(shown, QStringLiteral("Waiting for another Ambrylog")); // and says why
    EXPECT_FALSE(lock.isHeld());

    other.stop();
    EXPECT_TRUE(lock.acquire(1000));
    EXPECT_TRUE(lock.isHeld());
    EXPECT_TRUE(lock.errorText().isEmpty());
    // Held here, so another process is refused.
    const ambrytest::ChildResult child =
        ambrytest::runInChild([&] { return CatalogLock(folder).tryAcquire() ? "taken" : "refused"; });
    EXPECT_EQ(child.output, "refused");
    lock.release();
    EXPECT_EQ(
        ambrytest::runInChild([&] { return CatalogLock(folder).tryAcquire() ? "taken" : "refused"; }).output,
        "taken");
}

TEST(CatalogLock, AKilledHolderReleasesIt)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("lock"));
    Holder other(folder);
    ASSERT_TRUE(other.held);
    CatalogLock lock(folder);
    EXPECT_FALSE(lock.tryAcquire());
    other.stop(SIGKILL);
    EXPECT_TRUE(lock.tryAcquire());
}

TEST(CatalogLock, ReentrantWithinAProcess)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("lock"));
    CatalogLock outer(folder);
    ASSERT_TRUE(outer.tryAcquire());
    {
        // The same folder by another spelling is still the same lock.
        CatalogLock inner(folder + QStringLiteral("/./"));
        EXPECT_TRUE(inner.acquire(0));
    }
    // The inner release must not have let another process in.
    EXPECT_EQ(
        ambrytest::runInChild([&] { return CatalogLock(folder).tryAcquire() ? "taken" : "refused"; }).output,
        "refused");
    outer.release();
    EXPECT_EQ(
        ambrytest::runInChild([&] { return CatalogLock(folder).tryAcquire() ? "taken" : "refused"; }).output,
        "taken");
}

TEST(CatalogLock, TakingItRemovesWhatAKilledWriterLeft)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("lock"));
    const QStringList stale = {QStringLiteral(".450495.dat.tmp-Ab12yZ"),
                               QStringLiteral("sub/.-7.DAT.tmp-000000")};
    const QStringList kept = {QStringLiteral("450495.dat"),
                              QStringLiteral(".450495.dat.tmp-Ab1"),
                              QStringLiteral("notes.dat.tmp-Ab12yZ"),
                              QStringLiteral(".notes.txt.tmp-Ab12yZ"),
                              QStringLiteral(".450495.dat.tmp-Ab12y!"),
                              QStringLiteral("sub/.x.dat")};
    {
        Holder other(folder);
        ASSERT_TRUE(other.held);
        for (const QString &name : stale + kept)
            ambrytest::writeFile(folder + QLatin1Char('/') + name, "x");
        // A writer may still be writing them while someone holds the lock.
        CatalogLock lock(folder);
        EXPECT_FALSE(lock.tryAcquire());
        for (const QString &name : stale)
            EXPECT_TRUE(QFile::exists(folder + QLatin1Char('/') + name)) << name.toStdString();
    }
    CatalogLock lock(folder);
    ASSERT_TRUE(lock.tryAcquire());
    EXPECT_EQ(lock.removedTemporaries(), stale.size());
    for (const QString &name : stale)
        EXPECT_FALSE(QFile::exists(folder + QLatin1Char('/') + name)) << name.toStdString();
    for (const QString &name : kept)
        EXPECT_TRUE(QFile::exists(folder + QLatin1Char('/') + name)) << name.toStdString();
}

TEST(CatalogLock, AFolderThatCannotHoldTheLockSaysWhy)
{
    const QString missing = ambrytest::makeTempDir(QStringLiteral("lock")) + QStringLiteral("/gone");
    CatalogLock lock(missing);
    EXPECT_FALSE(lock.acquire(1000));
    EXPECT_TRUE(lock.errorText().startsWith(QStringLiteral("Cannot lock the catalog folder")))
        << lock.errorText().toStdString();
    EXPECT_TRUE(lock.errorText().contains(QStringLiteral("No such file"))) << lock.errorText().toStdString();
}

TEST(CatalogLock, AWriterThatWaitedThroughARestoreLocksTheFolderNowInPlace)
{
    const QString parent = ambrytest::makeTempDir(QStringLiteral("swap"));
    const QString folder = parent + QStringLiteral("/Archive");
    ASSERT_TRUE(QDir().mkpath(folder));
    Holder restore(folder);
    ASSERT_TRUE(restore.held);
    CatalogLock waiting(folder); // opened the lock file of the folder then in place
    // The restore swaps the folder (its lock file with it) and ends.
    ASSERT_TRUE(QDir().rename(folder, parent + QStringLiteral("/Archive before restore")));
    ASSERT_TRUE(QDir().mkpath(folder));
    restore.stop();
    ASSERT_TRUE(waiting.acquire(1000));
    // Held on the restored folder: another writer of the catalog must wait.
    EXPECT_EQ(
        ambrytest::runInChild([&] { return CatalogLock(folder).tryAcquire() ? "taken" : "refused"; }).output,
        "refused");
}

TEST(CatalogLock, TakingItClearsWhatAKilledRestoreOrMergeLeftBesideTheCatalog)
{
    const QString parent = ambrytest::makeTempDir(QStringLiteral("beside"));
    const QString folder = parent + QStringLiteral("/cat");
    ambrytest::writeFile(folder + QStringLiteral("/1.dat"), "x");
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const QStringList stale = {QStringLiteral(".cat.merge-%1-abcdef/2.dat").arg(gone),
                               QStringLiteral(".cat.restore-%1-Xy12Zq/3.dat").arg(gone),
                               QStringLiteral("..cat.journal.tmp-Ab12yZ")};
    const QStringList kept = {QStringLiteral(".cat.merge-1-abcdef/4.dat"), // its process runs
                              QStringLiteral(".other.merge-%1-abcdef/5.dat").arg(gone),
                              QStringLiteral("..other.journal.tmp-Ab12yZ"),
                              QStringLiteral(".cat.journal.tmp-Ab12yZ")};
    {
        Holder other(folder);
        ASSERT_TRUE(other.held);
        for (const QString &name : stale + kept)
            ambrytest::writeFile(parent + QLatin1Char('/') + name, "x");
        EXPECT_FALSE(CatalogLock(folder).tryAcquire());
        EXPECT_TRUE(QFile::exists(parent + QLatin1Char('/') + stale.front())); // not while another holds it
    }
    CatalogLock lock(folder);
    ASSERT_TRUE(lock.tryAcquire());
    for (const QString &name : stale) // a staging folder goes whole
        EXPECT_FALSE(QFileInfo::exists(parent + QLatin1Char('/') + name.section(QLatin1Char('/'), 0, 0)))
            << name.toStdString();
    for (const QString &name : kept)
        EXPECT_TRUE(QFile::exists(parent + QLatin1Char('/') + name)) << name.toStdString();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/1.dat")));
}

TEST(CatalogLock, AReadOnlyCatalogSaysSo)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("readonly"));
    ambrytest::openToOthers(folder.toStdString());
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
    {
        ambrytest::UnprivilegedFiles asAUser;
        CatalogLock lock(folder);
        EXPECT_FALSE(lock.acquire(200));
        EXPECT_TRUE(lock.errorText().contains(QStringLiteral("read-only"))) << lock.errorText().toStdString();
        EXPECT_FALSE(lock.errorText().contains(QStringLiteral("No such file")))
            << lock.errorText().toStdString();
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
