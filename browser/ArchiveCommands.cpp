#include "ArchiveCommands.h"

#include "ArchiveListModel.h"
#include "CatalogBrowser.h"

#include "catalog/Archive.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "util/AmbryError.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace browser {

void withCatalogLock(const QString &catalogFolder, const std::function<void()> &change,
                     const std::function<void()> &whileWaiting)
{
    CatalogLock lock(catalogFolder);
    if (!lock.acquire(CatalogLock::WaitMs, whileWaiting))
        throw AmbryError(lock.errorText());
    change();
}

bool deleteArchiveFile(const QString &path)
{
    if (!matchesArchiveMask(QFileInfo(path).fileName(), QStringLiteral("*.dat")))
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        return false;
    if (S_ISREG(st.st_mode)) {
        // A read-only archive goes like any other.
        if (::access(name.constData(), W_OK) != 0 && ::chmod(name.constData(), st.st_mode | S_IWUSR) != 0)
            return false;
    } else if (!S_ISLNK(st.st_mode)) {
        return false;
    }
    return ::unlink(name.constData()) == 0;
}

QString removeQuestion(const QStringList &marks)
{
    if (marks.size() == 1)
        return QStringLiteral("Are you sure you want to remove: ") + marks.first() + QStringLiteral(" ?");
    return QStringLiteral("You will remove more than one archive!\r\nAre you sure you want to continue?");
}

RemoveResult removeRows(ArchiveListModel &model, CatalogTotals &totals, const std::vector<int> &rows,
                        const RemoveHooks &hooks)
{
    RemoveResult result;
    if (rows.empty())
        return result;
    const int remembered = rows.front();
    int removedBefore = 0; // rows already gone above the current run
    for (size_t i = 0; i < rows.size() && !result.failed;) {
        size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        const int first = rows[i] - removedBefore;
        int gone = 0;
        QString failedMark;
        for (size_t k = i; k < end; ++k) {
            const ArchiveEntry e = model.entry(first + gone);
            if (!hooks.deleteFile(e.path)) {
                result.failed = true;
                failedMark = e.mark;
                break;
            }
            if (!totals.subtract(e))
                result.recount = true;
            ++gone;
            ++result.removed;
            if (hooks.pendingEvents)
                hooks.pendingEvents();
        }
        model.removeRun(first, gone);
        removedBefore += gone;
        if (result.failed && hooks.failed)
            hooks.failed(failedMark);
        i = end;
    }
    const int left = model.rowCount();
    if (left > 0)
        result.selectRow = std::min(remembered, left - 1);
    return result;
}

namespace edit {

bool okEnabled(const QString &mark)
{
    return !trimControls(mark).isEmpty();
}

QString fieldText(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    return out;
}

MarkCheck checkMark(const QString &mark, const QString &startingMark, const QString &catalogFolder)
{
    const QString wanted = trimControls(fieldText(mark));
    if (wanted.toUpper() == trimControls(fieldText(startingMark)).toUpper())
        return MarkCheck::Accept;
    return MarkExists(wanted, catalogFolder, QStringLiteral("*.dat")) ? MarkCheck::Exists : MarkCheck::Accept;
}

SaveResult saveFields(const QString &catalogFolder, const QString &path, const QString &startingMark,
                      const QString &mark, const QString &location, const QString &note,
                      const std::function<void()> &whileWaiting)
{
    SaveResult result = SaveResult::Failed;
    withCatalogLock(
        catalogFolder,
        [&] {
            try {
                if (checkMark(mark, startingMark, catalogFolder) == MarkCheck::Exists) {
                    result = SaveResult::MarkExists;
                    return;
                }
            } catch (const AmbryError &) {
                return; // the catalog cannot be read
            }
            if (ChangeValuesInArchive(fieldText(mark), fieldText(location), fieldText(note), path))
                result = SaveResult::Saved;
        },
        whileWaiting);
    return result;
}

} // namespace edit

} // namespace browser
