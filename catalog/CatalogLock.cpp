#include "CatalogLock.h"

#include "Catalog.h"
#include "CatalogSwap.h"

#include "util/AmbryError.h"
#include "util/FileLock.h"
#include "util/PosixFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString CatalogLock::BusyText = QStringLiteral("The catalog is in use by another Ambrylog.");
const QString CatalogLock::WaitingText = QStringLiteral("Waiting for another Ambrylog");
const QString CatalogLock::LockFileName = QStringLiteral(".ambrylog.lock");

// One lock file per catalog folder and process; the holders count makes it re-entrant.
struct CatalogLock::Shared
{
    explicit Shared(const QString &path) : lock(path), owner(::getpid()) {}
    FileLock lock;
    int holders = 0;
    pid_t owner; // a forked child inherits the parent's entry but is a process of its own
};

namespace {

int g_waitOverrideMs = 0;
QMutex g_mutex;
QHash<QString, std::weak_ptr<CatalogLock::Shared>> &registry()
{
    static QHash<QString, std::weak_ptr<CatalogLock::Shared>> map;
    return map;
}

QString folderKey(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

int CatalogLock::waitMs()
{
    return g_waitOverrideMs > 0 ? g_waitOverrideMs : WaitMs;
}

void CatalogLock::setWaitMsForTesting(int ms)
{
    g_waitOverrideMs = ms;
}

CatalogLock::CatalogLock(const QString &catalogFolder) : m_folder(folderKey(catalogFolder))
{
    const QMutexLocker locker(&g_mutex);
    std::weak_ptr<Shared> &slot = registry()[m_folder];
    m_shared = slot.lock();
    if (!m_shared || m_shared->owner != ::getpid()) {
        m_shared = std::make_shared<Shared>(m_folder + QLatin1Char('/') + LockFileName);
        slot = m_shared;
    }
}

CatalogLock::~CatalogLock()
{
    release();
    const QMutexLocker locker(&g_mutex);
    if (m_shared.use_count() == 1)
        registry().remove(m_folder);
    m_shared.reset();
}

bool CatalogLock::tryAcquire()
{
    return take(0, {});
}

bool CatalogLock::acquire(int timeoutMs, const Progress &progress)
{
    return take(timeoutMs, [&progress] {
        progress.show(WaitingText, 0, 0);
        progress.events();
    });
}

namespace {

QString lockErrorText(const QString &folder, int err)
{
    if (err == EWOULDBLOCK)
        return CatalogLock::BusyText;
    const QString native = QDir::toNativeSeparators(folder);
    if (err == EROFS || err == EACCES || err == EPERM)
        return QStringLiteral("Cannot change the catalog in \"%1\": the folder is read-only (%2).")
            .arg(native, errnoText(err));
    return QStringLiteral("Cannot lock the catalog folder \"%1\". %2").arg(native, errnoText(err));
}

} // namespace

bool CatalogLock::take(int timeoutMs, const std::function<void()> &whileWaiting)
{
    if (m_held)
        return true;
    m_errorText.clear();
    m_notice.clear();
    if (m_shared->holders > 0) {
        ++m_shared->holders;
        m_held = true;
        return true;
    }
    const QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                : QDeadlineTimer(timeoutMs));
    FileLock &file = m_shared->lock;
    // A folder missing for a moment is one a restore is renaming into place; one missing for
    // longer is gone.
    int missingTries = 200;
    for (;;) {
        const qint64 left = deadline.remainingTime();
        const bool got =
            left == 0 ? file.tryLock() : file.lock(int(std::min<qint64>(left, INT_MAX)), whileWaiting);
        if (got && file.isStillAtPath())
            break;
        if (got) {
            // A restore put another folder in place while we waited: its lock is the
            // catalog's now (the restore holds it until the swap is whole).
            file.reopen();
            continue;
        }
        if (file.error() == ENOENT) {
            // The folder is missing: a restore is moving the new one in, or was killed doing so.
            if (catalog::finishSwapOfMissingFolder(m_folder)) {
                file.reopen();
                continue;
            }
            if (!deadline.hasExpired() && --missingTries > 0) {
                if (whileWaiting)
                    whileWaiting();
                const timespec pause{0, 5 * 1000 * 1000};
                ::nanosleep(&pause, nullptr);
                file.reopen();
                continue;
            }
        }
        m_errorText = lockErrorText(m_folder, file.error());
        return false;
    }
    ++m_shared->holders;
    m_held = true;
    m_removed = catalog::Catalog(m_folder).removeStaleTemporaries();
    try {
        m_notice = catalog::clearInterruptedChange(m_folder);
    } catch (const AmbryError &e) {
        // What cannot be finished now is tried again by the next writer; the user hears of it.
        m_notice = e.message();
    }
    return true;
}

void CatalogLock::release()
{
    if (!m_held)
        return;
    m_held = false;
    if (--m_shared->holders == 0)
        m_shared->lock.unlock();
}
