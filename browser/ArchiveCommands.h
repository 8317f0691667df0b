#pragma once

// The catalog browser's changes to the catalog, without a window: removing archives and
// editing an archive's mark, location and note. The window and `ambrylog-cli remove/edit`
// share them.

#include "util/Progress.h"
#include "catalog/ArchiveWriter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace catalog {
class Catalog;
}

namespace browser {

class ArchiveListModel;
struct CatalogTotals;

// Runs one change of the catalog folder while holding the catalog lock; waits for another
// writer (telling progress meanwhile) and throws AmbryError when it does not let go.
void withCatalogLock(const catalog::Catalog &catalog, const std::function<void()> &change,
                     const Progress &progress = {});

// Makes an archive file writable and deletes it. Only archive files go: a path that is not a
// regular file or a symbolic link named like an archive (the catalog's mask) is refused. False on failure.
bool deleteArchiveFile(const QString &path);

inline const QString CannotDeleteText = QStringLiteral("Cannot delete archive: ");
// The confirmation question for removing rows with these captions.
QString removeQuestion(const QStringList &marks);

struct RemoveHooks
{
    std::function<bool(const QString &path)> deleteFile = deleteArchiveFile;
    // Called once before the first row leaves the model (a window drops its selection here:
    // kept up to date through thousands of removals it would cost more than the rows).
    std::function<void()> beforeRemoval;
    // Told the mark of the row whose file could not be deleted (the loop then stops).
    std::function<void(const QString &mark)> failed;
};

struct RemoveResult
{
    int removed = 0;
    bool failed = false;
    // A removed row's count did not convert: the totals are wrong, count the list again.
    bool recount = false;
    // The row to select afterwards: the remembered index (the first selected row) or the
    // last row when there are fewer rows now; -1 when the list is empty.
    int selectRow = -1;
    // After a failure: the rows that were to go and stay, by their indexes now.
    std::vector<int> kept;
};

// Deletes the archives of the given rows (ascending, no duplicates) in order, lowering the
// totals; then each run of adjacent rows whose files are gone leaves the model in one step.
// Stops at the first file that cannot be deleted; rows before it are removed, it and the
// rest stay. The events of progress run after each file.
RemoveResult removeRows(ArchiveListModel &model, CatalogTotals &totals, const std::vector<int> &rows,
                        const RemoveHooks &hooks = RemoveHooks(), const Progress &progress = {});

// The edit window's rules.
namespace edit {
inline const QString MarkExistsText = QStringLiteral("The mark already exists!");
inline const QString CannotChangeText = QStringLiteral("Cannot change archive values.");
inline constexpr int MaxLength = kMaxFieldLength;

// OK is possible when the mark, trimmed, is not empty.
bool okEnabled(const QString &mark);
// A field's text as it is written and shown: line breaks and NUL become blanks.
QString fieldText(const QString &text);

enum class MarkCheck { Accept, Exists };
// A change of letter case only (the marks compared trimmed, upper-cased) is accepted without
// a lookup; otherwise the mark, trimmed as it will be read back, must not be in use in the
// catalog. Throws AmbryError when the catalog cannot be read.
MarkCheck checkMark(const QString &mark, const QString &startingMark, const catalog::Catalog &catalog);

enum class SaveResult { Saved, MarkExists, Damaged, Failed };
// Rewrites the archive's three fields (ChangeValuesInArchive) under the catalog lock, texts as
// entered (line breaks and NUL as blanks). The mark is checked again under the lock, since
// another program may have taken it since checkMark. Damaged (with the reason in *damage): the
// archive is damaged, and a rewrite would pass what is left of it off as whole, so nothing is
// written. Failed when the file is gone or cannot be read or written (or the catalog cannot be
// read). Throws AmbryError when another writer keeps the catalog lock.
SaveResult saveFields(const catalog::Catalog &catalog, const QString &path, const QString &startingMark,
                      const QString &mark, const QString &location, const QString &note,
                      const Progress &lockWait = {}, QString *damage = nullptr);
// The message for a damaged archive that was not changed.
QString damagedText(const QString &reason);
} // namespace edit

} // namespace browser
