#pragma once

#include "SearchProblems.h"

#include <QSet>
#include <QString>

namespace search {

// What the user is told in a message box after a search. An archive the search could not read
// whole, or whose rows it could not fill, is named once per run of the program: a catalog that
// holds a damaged archive would otherwise end every search with the same box. An error that ended
// the walk, and records a regular expression gave up on, are told after every search, except that in
// single-archive mode, where each activation of the window searches again, the same text is not told twice in
// a row.
class SearchNotices
{
public:
    // A new search window: nothing has been told in it yet.
    void windowOpened() { m_last.clear(); }

    // The box's text after a search with these problems and this error ("" when none); empty
    // when there is nothing to tell. The archives it names count as told from then on.
    QString after(const SearchProblems &problems, const QString &failure, bool singleArchive);

private:
    QSet<QString> m_told; // archive paths named so far in this run
    QString m_last;       // the last text told in this window
};

// The status line after a search: "Files: " and the number of rows, or the design's text for no
// rows; a search the user cancelled says so after it.
QString resultsStatusText(qint64 rows, bool cancelled);

// Beside the status line, after every search: how many archives the search could not read whole
// ("1 damaged archive", "3 damaged archives"); empty when it read them all.
QString problemsStatusText(const SearchProblems &problems);
// What that note opens: every such archive, named.
QString problemsListText(const SearchProblems &problems);

} // namespace search
