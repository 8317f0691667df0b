#include "ArchiveCommands.h"

#include "ArchiveListModel.h"
#include "CatalogBrowser.h"

#include "catalog/Archive.h"
#include "catalog/ArchiveFieldValues.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "util/AmbryError.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace browser {

void withCatalogLock(const catalog::Catalog &catalog, const std::function<void()> &change,
                     const Progress &progress)
{
    CatalogLock lock = catalog.lock();
    if (!lock.acquire(CatalogLock::waitMs(), progress))
        throw AmbryError(lock.errorText());
    change();
}

bool deleteArchiveFile(const QString &path)
{
    if (!catalog::Catalog::isArchiveName(QFileInfo(path).fileName()))
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
                        const RemoveHooks &hooks, const Progress &progress)
{
    RemoveResult result;
    if (rows.empty())
        return result;
    const int remembered = rows.front();
    // The files first, one by one with the events running after each; the list is not drawn
    // meanwhile, so nothing shows whether a row leaves now or with the rest of its run.
    QString failedMark;
    size_t deleted = 0;
    for (; deleted < rows.size(); ++deleted) {
        const ArchiveEntry e = model.entry(rows[deleted]);
        if (!hooks.deleteFile(e.path)) {
            result.failed = true;
            failedMark = e.mark;
            break;
        }
        if (!totals.subtract(e))
            result.recount = true;
        ++result.removed;
        progress.events();
    }
    // Then the rows, one step per run of adjacent rows, the last run first so that the rows
    // still to go keep their indexes.
    if (deleted > 0 && hooks.beforeRemoval)
        hooks.beforeRemoval();
    for (size_t end = deleted; end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        model.removeRun(rows[begin], int(end - begin));
        end = begin;
    }
    for (size_t k = deleted; k < rows.size(); ++k)
        result.kept.push_back(rows[k] - int(deleted));
    if (result.failed && hooks.failed)
        hooks.failed(failedMark);
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

MarkCheck checkMark(const QString &mark, const QString &startingMark, const catalog::Catalog &catalog)
{
    const QString wanted = trimControls(fieldText(mark));
    if (wanted.toUpper() == trimControls(fieldText(startingMark)).toUpper())
        return MarkCheck::Accept;
    return catalog.markExists(wanted) ? MarkCheck::Exists : MarkCheck::Accept;
}

QString damagedText(const QString &reason)
{
    return CannotChangeText +
           QStringLiteral("\n\nThe archive is damaged (%1); it was left as it is.").arg(reason);
}

SaveResult saveFields(const catalog::Catalog &catalog, const QString &path, const QString &startingMark,
                      const QString &mark, const QString &location, const QString &note,
                      const Progress &lockWait, QString *damage)
{
    SaveResult result = SaveResult::Failed;
    withCatalogLock(
        catalog,
        [&] {
            const ArchiveFieldValues now = readArchiveFields(path, true);
            if (now.state == ArchiveFieldValues::State::Damaged) {
                if (damage)
                    *damage = now.problem;
                result = SaveResult::Damaged;
                return;
            }
            if (now.state != ArchiveFieldValues::State::Sound)
                return; // gone or unreadable
            try {
                if (checkMark(mark, startingMark, catalog) == MarkCheck::Exists) {
                    result = SaveResult::MarkExists;
                    return;
                }
            } catch (const AmbryError &) {
                return; // the catalog cannot be read
            }
            if (ChangeValuesInArchive(fieldText(mark), fieldText(location), fieldText(note), path))
                result = SaveResult::Saved;
        },
        lockWait);
    return result;
}

} // namespace edit

} // namespace browser
