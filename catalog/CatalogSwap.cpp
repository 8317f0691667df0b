#include "CatalogSwap.h"

#include "Catalog.h"
#include "CatalogLock.h"
#include "util/AmbryError.h"
#include "util/FileLock.h"
#include "util/PosixFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace catalog {

namespace {

bool g_noExchange = false;
void (*g_stepHook)(const char *) = nullptr;

void step(const char *name)
{
    if (g_stepHook)
        g_stepHook(name);
}

QByteArray enc(const QString &path)
{
    return QFile::encodeName(path);
}

// The catalog folder without its trailing "/", its parent and its own name.
struct Place
{
    QString folder, parent, name;
};

Place placeOf(const QString &catalogFolder)
{
    Place p;
    p.folder = catalogFolderBehindLinks(catalogFolder);
    const QFileInfo info(p.folder);
    p.parent = info.absolutePath();
    p.name = info.fileName();
    return p;
}

QString journalPath(const Place &p)
{
    return p.parent + QStringLiteral("/.") + p.name + QStringLiteral(".journal");
}

// A folder's identity, which survives renames.
QString identity(const QString &path)
{
    struct stat st;
    if (::lstat(enc(path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
}

void syncFolder(const QString &path)
{
    const int fd = ::open(enc(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Everything written below path reaches the disk: one call for the whole file system
// rather than one per file.
void syncFileSystem(const QString &path)
{
    const int fd = ::open(enc(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

void renameOrThrow(const QString &from, const QString &to)
{
    if (::rename(enc(from).constData(), enc(to).constData()) != 0)
        throw AmbryError(
            QStringLiteral("Cannot rename \"%1\" to \"%2\". %3").arg(from, to, errnoText(errno)));
}

using Journal = QMap<QString, QString>;

void writeJournal(const Place &p, const Journal &journal)
{
    QByteArray text;
    for (auto it = journal.begin(); it != journal.end(); ++it)
        text += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    writeFileAtomically(journalPath(p), text);
}

Journal readJournal(const QString &path)
{
    Journal journal;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            journal.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return journal;
}

void removeJournal(const Place &p)
{
    ::unlink(enc(journalPath(p)).constData());
    syncFolder(p.parent);
}

bool isEmptyFolder(const QString &path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Moves what is left in staging; a file already in the catalog stays where it is.
void moveRemaining(const QString &staging, const QString &catalog)
{
    QDirIterator it(staging, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString relative = from.mid(staging.size() + 1);
        const QString to = catalog + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(to).absolutePath());
        step("move");
        if (::renameat2(AT_FDCWD, enc(from).constData(), AT_FDCWD, enc(to).constData(), RENAME_NOREPLACE) !=
                0 &&
            errno != EEXIST) {
            // Without the flag's support, a plain rename after a look (the lock keeps others out).
            if ((errno == EINVAL || errno == ENOSYS) && !QFileInfo::exists(to))
                renameOrThrow(from, to);
            else if (errno != EINVAL && errno != ENOSYS)
                throw AmbryError(
                    QStringLiteral("Cannot move \"%1\" into the catalog. %2").arg(from, errnoText(errno)));
        }
    }
    syncFileSystem(catalog);
}

QString freeKeptPath(const QString &wanted)
{
    QString path = wanted;
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = wanted + QStringLiteral(" (%1)").arg(n);
    return path;
}

// The process that made a staging folder of this catalog (its name says), -1 when the name is
// not one of ours.
qint64 stagingOwner(const QString &folderName, const QString &catalogName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.*)\\.(restore|merge|import)-(\\d+)-[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch m = pattern.match(folderName);
    return m.hasMatch() && m.captured(1) == catalogName ? m.captured(3).toLongLong() : -1;
}

// Another running process is in the middle of this change: it finishes it itself.
bool ownedByAnother(qint64 owner)
{
    return owner != QCoreApplication::applicationPid() && processAlive(owner);
}

bool isJournalTemporary(const QString &entry, const Place &p)
{
    const QByteArray name = enc(entry);
    const QByteArray journal = enc(QStringLiteral(".") + p.name + QStringLiteral(".journal"));
    return name.startsWith(QByteArray('.' + journal)) && isAtomicTemporaryName(name, journal) &&
           name.indexOf(".tmp-") == 1 + journal.size();
}

} // namespace

QString catalogFolderBehindLinks(const QString &catalogFolder)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(catalogFolder).absoluteFilePath()));
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.absoluteFilePath() : target;
}

StagingFolder::StagingFolder(const QString &catalogFolder, const char *kind)
{
    const Place p = placeOf(catalogFolder);
    QByteArray pattern = enc(p.parent + QStringLiteral("/.") + p.name + QLatin1Char('.') +
                             QLatin1String(kind) + QLatin1Char('-') +
                             QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        throw AmbryError(
            QStringLiteral("Cannot create a folder beside \"%1\". %2").arg(p.folder, errnoText(errno)));
    // mkdtemp makes it private; as the catalog it becomes, it gets the catalog's permissions.
    struct stat st;
    ::chmod(pattern.constData(),
            ::stat(enc(p.folder).constData(), &st) == 0 ? (st.st_mode & 07777) : (newFileMode() | 0111));
    m_path = QFile::decodeName(pattern) + QLatin1Char('/');
}

StagingFolder::~StagingFolder()
{
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

QString keptFolderName(const QDateTime &when)
{
    return QStringLiteral("Archive before restore ") + when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
}

QString swapInCatalog(const QString &catalogFolder, const QString &staging, const QString &keptFolder)
{
    const Place p = placeOf(catalogFolder);
    const QString stage = QDir::cleanPath(staging);
    const auto giveUp = [&](const QString &error) {
        removeJournal(p);
        QDir(stage).removeRecursively();
        throw AmbryError(error);
    };
    const QString kept = freeKeptPath(QDir::cleanPath(keptFolder));
    // The new catalog's lock, held until the swap is whole: whoever finds the new folder in
    // place before then waits for it.
    FileLock stageLock(stage + QLatin1Char('/') + CatalogLock::LockFileName);
    if (!stageLock.tryLock())
        giveUp(QStringLiteral("Cannot lock the restored catalog \"%1\". %2")
                   .arg(stage, errnoText(stageLock.error())));
    syncFileSystem(stage);

    Journal journal;
    journal.insert(QStringLiteral("kind"), QStringLiteral("restore"));
    journal.insert(QStringLiteral("staging"), stage);
    journal.insert(QStringLiteral("kept"), kept);
    journal.insert(QStringLiteral("stagingId"), identity(stage));
    journal.insert(QStringLiteral("catalogId"), identity(p.folder));
    step("journal");
    try {
        writeJournal(p, journal);
    } catch (const AmbryError &e) {
        giveUp(e.message());
    }

    step("swap");
    const QString cannot = QStringLiteral("Cannot put the restored catalog in place of \"%1\". %2");
    bool exchanged = false;
    if (!g_noExchange) {
        exchanged = ::renameat2(AT_FDCWD, enc(stage).constData(), AT_FDCWD, enc(p.folder).constData(),
                                RENAME_EXCHANGE) == 0;
        if (!exchanged && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            giveUp(cannot.arg(p.folder, errnoText(errno)));
    }
    if (exchanged) {
        syncFolder(p.parent);
        step("keep");
        // stage now holds the old catalog; should this fail, the next start names it.
        if (::rename(enc(stage).constData(), enc(kept).constData()) != 0)
            throw AmbryError(QStringLiteral("The catalog was restored, but the previous one could not be "
                                            "renamed to \"%1\" (%2); the next start will do it.")
                                 .arg(kept, errnoText(errno)));
    } else {
        if (::rename(enc(p.folder).constData(), enc(kept).constData()) != 0)
            giveUp(cannot.arg(p.folder, errnoText(errno)));
        step("between");
        if (::rename(enc(stage).constData(), enc(p.folder).constData()) != 0) {
            const int err = errno;
            if (::rename(enc(kept).constData(), enc(p.folder).constData()) == 0)
                giveUp(cannot.arg(p.folder, errnoText(err)));
            throw AmbryError(QStringLiteral("The restored catalog could not be put in place (%1); the next "
                                            "start will finish it.")
                                 .arg(errnoText(err)));
        }
    }
    syncFolder(p.parent);
    step("done");
    removeJournal(p);
    return kept;
}

void moveIntoCatalog(const QString &catalogFolder, const QString &staging)
{
    const Place p = placeOf(catalogFolder);
    const QString stage = QDir::cleanPath(staging);
    syncFileSystem(stage);
    Journal journal;
    journal.insert(QStringLiteral("kind"), QStringLiteral("merge"));
    journal.insert(QStringLiteral("staging"), stage);
    step("journal");
    try {
        writeJournal(p, journal);
    } catch (const AmbryError &) {
        QDir(stage).removeRecursively();
        throw;
    }
    try {
        moveRemaining(stage, p.folder);
    } catch (const AmbryError &e) {
        throw AmbryError(e.message() + QStringLiteral(" The next start will finish the merge."));
    }
    step("done");
    QDir(stage).removeRecursively();
    removeJournal(p);
}

QString clearInterruptedChange(const QString &catalogFolder)
{
    const Place p = placeOf(catalogFolder);
    QString notice;
    const Journal journal = readJournal(journalPath(p));
    const QString stage = journal.value(QStringLiteral("staging"));
    // The journal only ever names folders beside the catalog folder.
    const bool sound = !stage.isEmpty() && QFileInfo(stage).absolutePath() == p.parent;
    if (sound && ownedByAnother(stagingOwner(QFileInfo(stage).fileName(), p.name)))
        return QString();
    if (sound && journal.value(QStringLiteral("kind")) == QLatin1String("merge")) {
        if (QFileInfo(stage).isDir()) {
            moveRemaining(stage, p.folder);
            QDir(stage).removeRecursively();
            notice = QStringLiteral("An interrupted merge of archives into the catalog was completed.");
        }
        removeJournal(p);
    } else if (sound && journal.value(QStringLiteral("kind")) == QLatin1String("restore")) {
        const QString kept = journal.value(QStringLiteral("kept"));
        const QString stagingId = journal.value(QStringLiteral("stagingId"));
        const QString catalogId = journal.value(QStringLiteral("catalogId"));
        const QString now = identity(p.folder);
        if (now == stagingId) {
            // Swapped; the old catalog may still wait under the staging name.
            if (identity(stage) == catalogId && QFileInfo(kept).absolutePath() == p.parent)
                renameOrThrow(stage, freeKeptPath(kept));
            notice = QStringLiteral("An interrupted restore of the catalog was completed.");
        } else if (now == catalogId) {
            QDir(stage).removeRecursively(); // nothing was swapped: the old catalog stands
        } else if (identity(stage) == stagingId && (now.isEmpty() || isEmptyFolder(p.folder))) {
            // The old catalog was moved aside (an empty folder may have been made since).
            if (!now.isEmpty())
                ::rmdir(enc(p.folder).constData());
            renameOrThrow(stage, p.folder);
            notice = QStringLiteral("An interrupted restore of the catalog was completed.");
        }
        syncFolder(p.parent);
        removeJournal(p);
    } else if (!journal.isEmpty()) {
        removeJournal(p);
    }

    // Staging folders whose process is gone hold nothing the catalog needs; a journal's
    // temporary file is only ever written under the lock, which is held here.
    const QStringList entries = QDir(p.parent).entryList(QDir::Dirs | QDir::Files | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString path = p.parent + QLatin1Char('/') + entry;
        const qint64 owner = stagingOwner(entry, p.name);
        if (owner > 0 && !processAlive(owner) && QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QDir(path).removeRecursively();
        else if (isJournalTemporary(entry, p) && QFileInfo(path).isFile())
            ::unlink(enc(path).constData());
    }
    return notice;
}

bool finishSwapOfMissingFolder(const QString &catalogFolder)
{
    const Place p = placeOf(catalogFolder);
    if (QFileInfo::exists(p.folder) || QFileInfo(p.folder).isSymLink())
        return false;
    const Journal journal = readJournal(journalPath(p));
    const QString stage = journal.value(QStringLiteral("staging"));
    if (journal.value(QStringLiteral("kind")) != QLatin1String("restore") || stage.isEmpty() ||
        QFileInfo(stage).absolutePath() != p.parent || !QFileInfo(stage).isDir())
        return false;
    FileLock stageLock(stage + QLatin1Char('/') + CatalogLock::LockFileName);
    if (!stageLock.tryLock())
        return false; // its restore is still at work, or another writer is finishing it
    try {
        clearInterruptedChange(catalogFolder);
    } catch (const AmbryError &) {
        return false;
    }
    return QFileInfo(p.folder).isDir();
}

QString finishInterruptedChange(const Catalog &catalog)
{
    CatalogLock lock = catalog.lock();
    return lock.tryAcquire() ? lock.recoveryNotice() : QString();
}

void setExchangeUnavailableForTesting(bool unavailable)
{
    g_noExchange = unavailable;
}

void setSwapStepHookForTesting(void (*hook)(const char *step))
{
    g_stepHook = hook;
}

} // namespace catalog
