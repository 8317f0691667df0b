#include "SearchNotices.h"

#include "util/gUtils.h"

#include <QStringList>

namespace search {

QString SearchNotices::after(const SearchProblems &problems, const QString &failure, bool singleArchive)
{
    const auto compose = [&](const SearchProblems &p) {
        QStringList parts;
        for (const QString &text :
             {failure, damagedArchivesMessage(p), unreadableArchivesMessage(p.unreadable),
              unfilledRowsMessage(p), gaveUpMessage(p)}) {
            if (!text.isEmpty())
                parts << text;
        }
        return parts.join(QStringLiteral("\n\n"));
    };
    // The repeat rule looks at everything the search met, so a text cut short by archives told
    // before does not count as new.
    const QString whole = compose(problems);
    if (singleArchive && whole == m_last)
        return QString();
    m_last = whole;

    SearchProblems fresh;
    // Records the expression gave up on belong to this search's expression: told every time.
    fresh.gaveUp = problems.gaveUp;
    fresh.firstGaveUp = problems.firstGaveUp;
    // Rows that could not be filled come from damaged records: told while any of their
    // archives is new.
    bool newUnfilled = false;
    for (const QString &path : problems.unfilledArchives)
        newUnfilled = newUnfilled || !m_told.contains(path);
    if (newUnfilled || problems.unfilledArchives.isEmpty()) {
        fresh.unfilledRows = problems.unfilledRows;
        fresh.firstUnfilled = problems.firstUnfilled;
    }
    for (qsizetype i = 0; i < problems.damagedArchives.size(); ++i) {
        const QString &path = problems.damagedArchives.at(i);
        if (!m_told.contains(path)) {
            m_told.insert(path);
            fresh.damagedArchives << path;
            fresh.damagedReasons << problems.damagedReasons.value(i);
        }
    }
    for (const QString &path : problems.unfilledArchives)
        m_told.insert(path);
    for (const UnreadableArchive &u : problems.unreadable) {
        if (!m_told.contains(u.path)) {
            m_told.insert(u.path);
            fresh.unreadable << u;
        }
    }
    return compose(fresh);
}

QString resultsStatusText(qint64 rows, bool cancelled)
{
    QString text = rows > 0 ? QStringLiteral("Files: ") + QString::number(rows)
                            : QStringLiteral("There are no results to display.");
    if (cancelled)
        text += QStringLiteral(" (search cancelled)");
    return text;
}

namespace {

QStringList problemArchives(const SearchProblems &p)
{
    QStringList paths = p.damagedArchives;
    for (const UnreadableArchive &u : p.unreadable)
        paths << u.path;
    paths << p.unfilledArchives;
    paths.removeDuplicates();
    return paths;
}

} // namespace

QString problemsStatusText(const SearchProblems &problems)
{
    const qsizetype n = problemArchives(problems).size();
    return n == 0 ? QString() : countOf(n, "damaged archive", "damaged archives");
}

QString problemsListText(const SearchProblems &problems)
{
    const int all = int(problemArchives(problems).size());
    QStringList parts;
    for (const QString &text :
         {damagedArchivesMessage(problems, all), unreadableArchivesMessage(problems.unreadable, all),
          unfilledRowsMessage(problems)}) {
        if (!text.isEmpty())
            parts << text;
    }
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace search
