#include "CatalogLock.h"

#include "Catalog.h"

#include "util/FileLock.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <cerrno>
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

bool CatalogLock::take(int timeoutMs, const std::function<void()> &whileWaiting)
{
    if (m_held)
        return true;
    m_errorText.clear();
    if (m_shared->holders > 0) {
        ++m_shared->holders;
        m_held = true;
        return true;
    }
    const bool got = timeoutMs == 0 ? m_shared->lock.tryLock() : m_shared->lock.lock(timeoutMs, whileWaiting);
    if (!got) {
        const int err = m_shared->lock.error();
        m_errorText = err == EWOULDBLOCK ? BusyText
                                         : QStringLiteral("Cannot lock the catalog folder \"%1\". %2")
                                               .arg(QDir::toNativeSeparators(m_folder), errnoText(err));
        return false;
    }
    ++m_shared->holders;
    m_held = true;
    m_removed = catalog::Catalog(m_folder).removeStaleTemporaries();
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
