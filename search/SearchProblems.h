#pragma once

// What a search could not read, and how the user is told.

#include "catalog/Catalog.h"

#include <QString>
#include <QStringList>

namespace search {

// Archives a search skipped or cut short, and rows it could not fill, told once at its end.
struct SearchProblems
{
    QStringList damagedArchives;   // full paths, in the order met
    QStringList damagedReasons;    // one short reason per path
    UnreadableArchives unreadable; // archives that could not be read at all, skipped
    qint64 unfilledRows = 0;       // rows whose size or date line could not be shown
    QString firstUnfilled;         // "<archive path> <k>" of the first such row
    QStringList unfilledArchives;  // the archives those rows are in, in the order met
    qint64 gaveUp = 0;             // records the regular expression gave up on, not listed
    QString firstGaveUp;           // "<archive path> <k>" of the first such record

    // Record k of the archive gave a row that cannot be filled.
    void noteUnfilled(const QString &archivePath, qint64 k);
    bool isEmpty() const
    {
        return damagedArchives.isEmpty() && unreadable.isEmpty() && unfilledRows == 0 && gaveUp == 0;
    }
    // Adds a worker's findings for one archive, met after everything noted so far.
    void addLater(const SearchProblems &p);
};

// The user's message for damaged archives: the first few paths and how many in all; empty
// when there were none.
QString damagedArchivesMessage(const SearchProblems &p, int maxPaths = 5);
// The message for rows that could not be filled: the first one's archive path and record
// index, and how many more; empty when there were none.
QString unfilledRowsMessage(const SearchProblems &p);
// The message for records the regular expression took too long on; empty when there were none.
QString gaveUpMessage(const SearchProblems &p);

} // namespace search
