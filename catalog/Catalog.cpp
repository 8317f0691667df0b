#include "Catalog.h"

#include "Archive.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"
#include "util/gUtils.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class EntryKind { File, LinkToFile, Folder, Other };

EntryKind kindOf(const QByteArray &path, unsigned char type)
{
    switch (type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK: {
        // A link to a file counts like the file; a link to a folder is never entered.
        struct stat st;
        return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) ? EntryKind::LinkToFile
                                                                         : EntryKind::Other;
    }
    case DT_UNKNOWN: {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return EntryKind::Other;
        if (S_ISDIR(st.st_mode))
            return EntryKind::Folder;
        if (S_ISLNK(st.st_mode))
            return kindOf(path, DT_LNK);
        return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
    }
    default:
        return EntryKind::Other;
    }
}

class MaskMatcher
{
public:
    explicit MaskMatcher(const QString &mask) : m_mask(mask)
    {
        // "*.*" and "*" take every name, as they always have on the platform the format
        // comes from; "*.ext" is by far the common case and gets a quick test.
        m_all = mask == QLatin1String("*") || mask == QLatin1String("*.*");
        const QStringView rest = QStringView(mask).mid(1);
        m_suffixOnly = mask.startsWith(QLatin1Char('*')) && !rest.contains(QLatin1Char('*')) &&
                       !rest.contains(QLatin1Char('?'));
        m_suffix = rest.toString();
    }

    bool matches(const QString &name) const
    {
        if (m_all)
            return true;
        if (m_suffixOnly)
            return name.endsWith(m_suffix, Qt::CaseInsensitive);
        return wildcard(QStringView(name), QStringView(m_mask));
    }

private:
    static bool sameChar(QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); }

    static bool wildcard(QStringView name, QStringView mask)
    {
        // Greedy matching with back-tracking to the last "*".
        qsizetype n = 0, m = 0, starM = -1, starN = 0;
        while (n < name.size()) {
            if (m < mask.size() && (mask[m] == QLatin1Char('?') ||
                                    (mask[m] != QLatin1Char('*') && sameChar(mask[m], name[n])))) {
                ++n;
                ++m;
            } else if (m < mask.size() && mask[m] == QLatin1Char('*')) {
                starM = m++;
                starN = n;
            } else if (starM >= 0) {
                m = starM + 1;
                n = ++starN;
            } else {
                return false;
            }
        }
        while (m < mask.size() && mask[m] == QLatin1Char('*'))
            ++m;
        return m == mask.size();
    }

    QString m_mask;
    QString m_suffix;
    bool m_all = false;
    bool m_suffixOnly = false;
};

const MaskMatcher &archiveMask()
{
    static const MaskMatcher mask(catalog::Catalog::ArchiveMask);
    return mask;
}

// The reason a catalog folder could not be listed, for the readers that name what they skip;
// empty for a folder that is gone, which holds nothing to miss.
QString listingProblem(int error)
{
    if (error == 0 || error == ENOENT)
        return QString();
    return QStringLiteral("folder cannot be listed: ") + errnoText(error);
}

// wanted is the mark upper-cased. Upper-cased on both sides, then compared without regard to
// case, so that marks whose upper-case forms differ only in case folding (such as "ß" and "SS")
// still meet. A blank mark never matches.
bool carriesMark(const Archive &archive, const QString &wanted)
{
    const QByteArrayView stored = archive.rawValue(u"AMark");
    return !trimControls(stored).isEmpty() &&
           decodeArchiveText(stored).toUpper().compare(wanted, Qt::CaseInsensitive) == 0;
}

// The archive's fields from the end of its file, or none when it is gone or cannot be read
// (then noted).
std::optional<Archive> fieldsOf(const QString &path, UnreadableArchives *unreadable)
{
    QString reason;
    std::optional<Archive> archive = Archive::read(path, true, &reason);
    if (!archive && !reason.isEmpty() && unreadable)
        unreadable->append(UnreadableArchive{path, reason});
    return archive;
}

} // namespace

bool matchesArchiveMask(const QString &name, const QString &mask)
{
    return MaskMatcher(mask).matches(name);
}

QString ReadArchiveValue(const QString &path, const QString &key)
{
    return Archive::loadFields(path).value(key);
}

QString unreadableArchivesMessage(const UnreadableArchives &list, int maxPaths)
{
    const qsizetype n = list.size();
    if (n == 0)
        return QString();
    // The walk names folders with their trailing "/".
    qsizetype folders = 0;
    for (const UnreadableArchive &u : list)
        folders += u.path.endsWith(QLatin1Char('/')) ? 1 : 0;
    QString text;
    if (folders == 0)
        text = n == 1 ? QStringLiteral("This archive could not be read and was skipped:")
                      : QStringLiteral("These archives could not be read and were skipped:");
    else if (folders == n)
        text =
            n == 1
                ? QStringLiteral("This folder of the catalog could not be read; its archives were skipped:")
                : QStringLiteral("These folders of the catalog could not be read; their archives were "
                                 "skipped:");
    else
        text =
            QStringLiteral("These archives and folders of the catalog could not be read and were skipped:");
    for (qsizetype i = 0; i < n && i < maxPaths; ++i)
        text += QStringLiteral("\n%1 (%2)").arg(list.at(i).path, list.at(i).reason);
    if (n > maxPaths)
        text += folders == 0 ? QStringLiteral("\n... %1 unreadable archives in all.").arg(n)
                             : QStringLiteral("\n... %1 in all.").arg(n);
    return text;
}

bool parseArchiveInt(QStringView text, int *value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    if (i == text.size())
        return false;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(INT_MAX) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    *value = int(result);
    return true;
}

namespace catalog {

// ---- Numbers ------------------------------------------------------------------------------

bool ArchiveNumbers::parse(QByteArrayView value, int *number)
{
    qint64 n = 0;
    if (!parseDecimal64(trimControls(value), &n) || !isValid(n))
        return false;
    *number = int(n);
    return true;
}

void ArchiveNumbers::add(int number)
{
    m_used.insert(number);
    m_highest = std::max(m_highest, number);
}

int ArchiveNumbers::next(int lastStored, bool *wrapped) const
{
    if (wrapped)
        *wrapped = false;
    const int highest = m_used.isEmpty() && isValid(lastStored) ? lastStored : m_highest;
    if (highest < INT_MAX)
        return highest + 1;
    // Past the largest: the lowest number no archive holds.
    std::vector<int> used(m_used.cbegin(), m_used.cend());
    std::sort(used.begin(), used.end());
    int free = 1;
    for (const int n : used) {
        if (n > free)
            break;
        if (n == free) {
            if (free == INT_MAX)
                throw AmbryError(QStringLiteral("Every archive number is in use."));
            ++free;
        }
    }
    if (wrapped)
        *wrapped = true;
    return free;
}

// ---- The walk -----------------------------------------------------------------------------

// One folder of the walk: its files and subfolders, each by name, taken one after another.
struct WalkCursor::Level
{
    QByteArray folder; // ends in "/"
    std::vector<QString> files;
    std::vector<QByteArray> folders; // each ending in "/"
    size_t nextFile = 0, nextFolder = 0;
    int error = 0; // errno when the folder could not be listed (wholly)
    bool errorTold = false, doneTold = false;

    Level(const QByteArray &path, WalkCursor::Take take) : folder(path) { list(take); }

    void list(WalkCursor::Take take)
    {
        DIR *dir = ::opendir(folder.constData());
        if (!dir) {
            error = errno;
            return;
        }
        for (;;) {
            errno = 0;
            const dirent *entry = ::readdir(dir);
            if (!entry) {
                error = errno; // 0 at the end of the folder
                break;
            }
            const char *raw = entry->d_name;
            if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
                continue;
            const QByteArray name(raw);
            const QByteArray path = folder + name;
            const EntryKind kind = kindOf(path, entry->d_type);
            if (kind == EntryKind::Folder) {
                folders.push_back(path + '/');
                continue;
            }
            const bool wanted =
                take == WalkCursor::Take::Archives
                    ? kind == EntryKind::File || kind == EntryKind::LinkToFile
                    : kind == EntryKind::File && isAtomicTemporaryName(name, QByteArrayLiteral(".dat"));
            if (!wanted)
                continue;
            // A name that is not valid in the file name encoding cannot be reached through
            // a path text; it is left out rather than opened under a wrong name.
            const QString text = QFile::decodeName(name);
            if (QFile::encodeName(text) != name)
                continue;
            if (take == WalkCursor::Take::Archives && !archiveMask().matches(text))
                continue;
            files.push_back(QFile::decodeName(path));
        }
        ::closedir(dir); // closed before going deeper, so deep trees cannot run out of handles
        // Listed by name, as the file systems the catalog format comes from list a folder, so
        // every reader meets the archives in one repeatable order whatever the file system.
        const auto byName = [](const QString &a, const QString &b) {
            const int c = QString::compare(a, b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        };
        std::sort(files.begin(), files.end(), byName);
        std::sort(folders.begin(), folders.end(), [&](const QByteArray &a, const QByteArray &b) {
            return byName(QFile::decodeName(a), QFile::decodeName(b));
        });
    }
};

WalkCursor::WalkCursor(const Catalog &catalog) : WalkCursor(catalog.folder(), Take::Archives) {}

WalkCursor::WalkCursor(const QString &root, Take take) : m_take(take)
{
    if (!root.isEmpty())
        m_levels.emplace_back(QFile::encodeName(root), take);
}

WalkCursor::~WalkCursor() = default;
WalkCursor::WalkCursor(WalkCursor &&) noexcept = default;
WalkCursor &WalkCursor::operator=(WalkCursor &&) noexcept = default;

WalkCursor::Step WalkCursor::next()
{
    while (!m_levels.empty()) {
        Level &top = m_levels.back();
        if (!top.errorTold) {
            top.errorTold = true;
            m_reason = listingProblem(top.error);
            if (!m_reason.isEmpty()) {
                m_path = QFile::decodeName(top.folder);
                return Step::Unlisted;
            }
        }
        if (top.nextFile < top.files.size()) {
            m_path = std::move(top.files[top.nextFile++]);
            return Step::Archive;
        }
        if (!top.doneTold) {
            top.doneTold = true;
            m_path = QFile::decodeName(top.folder);
            return Step::FolderDone;
        }
        if (top.nextFolder < top.folders.size()) {
            const QByteArray sub = std::move(top.folders[top.nextFolder++]);
            m_levels.emplace_back(sub, m_take); // top is not used after this
            continue;
        }
        m_levels.pop_back();
    }
    m_path.clear();
    return Step::End;
}

// ---- The catalog --------------------------------------------------------------------------

const QString Catalog::ArchiveMask = QStringLiteral("*.dat");
const QString Catalog::ArchiveSuffix = QStringLiteral(".dat");

Catalog::Catalog(const QString &folder, std::shared_ptr<NumberStore> numbers)
    : m_folder(AddTrailingSlash(folder)), m_numbers(std::move(numbers))
{}

bool Catalog::exists() const
{
    return !m_folder.isEmpty() && QFileInfo(m_folder).isDir();
}

bool Catalog::isArchiveName(const QString &fileName)
{
    return archiveMask().matches(fileName);
}

bool Catalog::walk(const ArchiveVisitor &visit, const Progress &progress, UnreadableArchives *unlisted) const
{
    WalkCursor cursor(*this);
    for (;;) {
        switch (cursor.next()) {
        case WalkCursor::Step::Archive:
            if (!visit(cursor.path()))
                return false;
            progress.events();
            break;
        case WalkCursor::Step::Unlisted:
            if (unlisted)
                unlisted->append(UnreadableArchive{cursor.path(), cursor.reason()});
            break;
        case WalkCursor::Step::FolderDone:
            if (progress.stopped())
                return false;
            progress.events();
            break;
        case WalkCursor::Step::End:
            return true;
        }
    }
}

QString Catalog::archivePath(const QString &checksum) const
{
    return m_folder + checksum + ArchiveSuffix;
}

QString Catalog::archiveWithChecksum(const QString &checksum) const
{
    const QString wanted = checksum + ArchiveSuffix;
    // Where saves put it, before the walk of every folder.
    if (QFileInfo(archivePath(checksum)).isFile())
        return archivePath(checksum);
    QString found;
    walk([&](const QString &path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (QStringView(path).sliced(slash + 1).compare(wanted, Qt::CaseInsensitive) == 0)
            found = path;
        return found.isEmpty();
    });
    return found;
}

bool Catalog::markExists(const QString &mark, UnreadableArchives *unreadable) const
{
    const QString wanted = mark.toUpper();
    bool found = false;
    walk(
        [&](const QString &path) {
            const std::optional<Archive> archive = fieldsOf(path, unreadable);
            found = archive && carriesMark(*archive, wanted);
            return !found;
        },
        {}, unreadable);
    return found;
}

QStringList Catalog::archivesWithMark(const QString &mark) const
{
    const QString wanted = mark.toUpper();
    QStringList found;
    walk([&](const QString &path) {
        // Unreadable: it carries no mark anyone can match.
        const std::optional<Archive> archive = fieldsOf(path, nullptr);
        if (archive && carriesMark(*archive, wanted))
            found << path;
        return true;
    });
    return found;
}

ArchiveNumbers Catalog::numbersInUse(UnreadableArchives *unreadable, UnreadableArchives *damaged) const
{
    ArchiveNumbers numbers;
    walk(
        [&](const QString &path) {
            const std::optional<Archive> archive = fieldsOf(path, unreadable);
            if (!archive)
                return true;
            int number = 0;
            if (ArchiveNumbers::parse(archive->rawValue(u"ANumber"), &number))
                numbers.add(number);
            if (damaged) {
                const QString damage = archive->damage();
                if (!damage.isEmpty())
                    damaged->append(UnreadableArchive{path, damage});
            }
            return true;
        },
        {}, unreadable);
    return numbers;
}

int Catalog::highestNumber(UnreadableArchives *unreadable) const
{
    return numbersInUse(unreadable).highest();
}

int Catalog::nextNumber(UnreadableArchives *unreadable, UnreadableArchives *damaged, bool *wrapped) const
{
    const ArchiveNumbers numbers = numbersInUse(unreadable, damaged);
    // A stored value that is not a number (the program never writes one) reads as none.
    return numbers.next(storedNumber(), wrapped);
}

void Catalog::recordNumber(int number) const
{
    if (m_numbers)
        m_numbers->setLastNumber(number);
}

int Catalog::removeStaleTemporaries() const
{
    int removed = 0;
    WalkCursor cursor(m_folder, WalkCursor::Take::Temporaries);
    for (WalkCursor::Step step; (step = cursor.next()) != WalkCursor::Step::End;)
        if (step == WalkCursor::Step::Archive && ::unlink(QFile::encodeName(cursor.path()).constData()) == 0)
            ++removed;
    return removed;
}

} // namespace catalog
