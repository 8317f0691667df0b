#include <gtest/gtest.h>

#include "TestSupport.h"
#include "search/SearchNotices.h"

using search::SearchNotices;
using search::SearchProblems;

namespace {

SearchProblems damaged(const QStringList &paths)
{
    SearchProblems p;
    for (const QString &path : paths) {
        p.damagedArchives << path;
        p.damagedReasons << QStringLiteral("ends in the middle of a line");
    }
    return p;
}

} // namespace

TEST(SearchNotices, AnArchiveIsNamedOncePerRun)
{
    SearchNotices notices;
    const QString a = QStringLiteral("/c/a.dat"), b = QStringLiteral("/c/b.dat");
    const QString first = notices.after(damaged({a}), QString(), false);
    EXPECT_TRUE(first.contains(a));
    EXPECT_TRUE(notices.after(damaged({a}), QString(), false).isEmpty())
        << "the next search says nothing new";

    notices.windowOpened();
    EXPECT_TRUE(notices.after(damaged({a}), QString(), false).isEmpty()) << "nor a new window";

    const QString second = notices.after(damaged({a, b}), QString(), false);
    EXPECT_TRUE(second.contains(b));
    EXPECT_FALSE(second.contains(a)) << "only the archive not named before";
    EXPECT_TRUE(second.startsWith(QStringLiteral("This archive is damaged"))) << "worded for one archive";

    SearchProblems unreadable;
    unreadable.unreadable << UnreadableArchive{QStringLiteral("/c/locked.dat"),
                                               QStringLiteral("Permission denied")};
    EXPECT_TRUE(notices.after(unreadable, QString(), false).contains(QStringLiteral("locked.dat")));
    EXPECT_TRUE(notices.after(unreadable, QString(), false).isEmpty());
}

TEST(SearchNotices, AnErrorIsToldAfterEverySearchRowsThatCouldNotBeFilledOncePerArchive)
{
    SearchProblems unfilled;
    unfilled.unfilledRows = 1;
    unfilled.firstUnfilled = QStringLiteral("/c/a.dat 7");
    unfilled.unfilledArchives << QStringLiteral("/c/a.dat");
    const QString failure = QStringLiteral("Cannot read /c: Input/output error");
    const struct
    {
        const char *what;
        SearchProblems problems;
        QString failure;
        QString first, second;
    } cases[] = {
        {"nothing to tell", SearchProblems(), QString(), QString(), QString()},
        {"an error that ended the walk", SearchProblems(), failure, failure, failure},
        {"a row that could not be filled", unfilled, QString(), QStringLiteral("/c/a.dat 7"), QString()},
        {"both, the error first", unfilled, failure, failure + QStringLiteral("\n\n/c/a.dat 7"), failure},
    };
    for (const auto &c : cases) {
        SearchNotices notices;
        EXPECT_EQ(notices.after(c.problems, c.failure, false), c.first) << c.what;
        EXPECT_EQ(notices.after(c.problems, c.failure, false), c.second) << c.what << ", the next search";
    }
    // The same rows found again next to rows of another archive are news.
    SearchNotices notices;
    notices.after(unfilled, QString(), false);
    SearchProblems more = unfilled;
    more.unfilledRows = 3;
    more.unfilledArchives << QStringLiteral("/c/b.dat");
    EXPECT_FALSE(notices.after(more, QString(), false).isEmpty());
    EXPECT_TRUE(notices.after(damaged({QStringLiteral("/c/b.dat")}), QString(), false).isEmpty())
        << "an archive named for its rows counts as told";
}

TEST(SearchNotices, SingleArchiveModeDoesNotRepeatAnErrorInARow)
{
    // Each activation of the window searches again there, and closing the box activates it.
    const QString failure = QStringLiteral("Cannot read /c: Input/output error");
    const SearchProblems p = damaged({QStringLiteral("/c/a.dat")});
    SearchNotices notices;
    EXPECT_TRUE(notices.after(p, failure, true).contains(QStringLiteral("a.dat")));
    EXPECT_TRUE(notices.after(p, failure, true).isEmpty())
        << "the error alone is still the same search's news";
    EXPECT_EQ(notices.after(p, QStringLiteral("Other"), true), QStringLiteral("Other"));
    EXPECT_EQ(notices.after(p, failure, true), failure) << "not in a row any more";
    notices.windowOpened();
    EXPECT_EQ(notices.after(p, failure, true), failure) << "a new window tells it again";
    EXPECT_TRUE(notices.after(p, failure, true).isEmpty());
}

TEST(SearchStatus, TheLineSaysWhatTheSearchFoundAndWhatItCouldNotRead)
{
    const struct
    {
        qint64 rows;
        bool cancelled;
        const char *line;
    } lines[] = {{7304961, false, "Files: 7304961"},
                 {7304961, true, "Files: 7304961 (search cancelled)"},
                 {0, false, "There are no results to display."},
                 {0, true, "There are no results to display. (search cancelled)"}};
    for (const auto &l : lines)
        EXPECT_EQ(search::resultsStatusText(l.rows, l.cancelled), QString::fromLatin1(l.line)) << l.line;

    EXPECT_TRUE(search::problemsStatusText(SearchProblems()).isEmpty());
    const QString a = QStringLiteral("/c/a.dat"), b = QStringLiteral("/c/b.dat");
    EXPECT_EQ(search::problemsStatusText(damaged({a})), QStringLiteral("1 damaged archive"));
    SearchProblems both = damaged({a, b});
    both.unreadable << UnreadableArchive{QStringLiteral("/c/locked.dat"),
                                         QStringLiteral("Permission denied")};
    both.unfilledArchives << a; // counted once, whatever else went wrong with it
    EXPECT_EQ(search::problemsStatusText(both), QStringLiteral("3 damaged archives"));
    // The list names every one of them, also those a box named before.
    const QString list = search::problemsListText(both);
    for (const QString &path : {a, b, QStringLiteral("/c/locked.dat")})
        EXPECT_TRUE(list.contains(path)) << path.toStdString();
}
