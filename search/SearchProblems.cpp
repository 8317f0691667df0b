#include "SearchProblems.h"

namespace search {

void SearchProblems::noteUnfilled(const QString &archivePath, qint64 k)
{
    if (unfilledRows++ == 0)
        firstUnfilled = archivePath + QLatin1Char(' ') + QString::number(k);
    // An archive's rows come one after another.
    if (unfilledArchives.isEmpty() || unfilledArchives.constLast() != archivePath)
        unfilledArchives << archivePath;
}

QString damagedArchivesMessage(const SearchProblems &p, int maxPaths)
{
    const qsizetype n = p.damagedArchives.size();
    if (n == 0)
        return QString();
    QString text =
        n == 1
            ? QStringLiteral("This archive is damaged; only the whole records it still holds were searched:")
            : QStringLiteral(
                  "These archives are damaged; only the whole records they still hold were searched:");
    for (qsizetype i = 0; i < n && i < maxPaths; ++i)
        text += QLatin1Char('\n') + p.damagedArchives.at(i);
    if (n > maxPaths)
        text += QStringLiteral("\n... %1 damaged archives in all.").arg(n);
    return text;
}

QString unfilledRowsMessage(const SearchProblems &p)
{
    if (p.unfilledRows == 0)
        return QString();
    if (p.unfilledRows == 1)
        return p.firstUnfilled;
    const qint64 more = p.unfilledRows - 1;
    return p.firstUnfilled + QStringLiteral("\n(and %1 more %2 whose row could not be filled)")
                                 .arg(more)
                                 .arg(more == 1 ? QStringLiteral("record") : QStringLiteral("records"));
}

QString gaveUpMessage(const SearchProblems &p)
{
    if (p.gaveUp == 0)
        return QString();
    return QStringLiteral("The regular expression took too long on %1 %2, which %3 not listed; the first: %4")
        .arg(p.gaveUp)
        .arg(p.gaveUp == 1 ? QStringLiteral("record") : QStringLiteral("records"))
        .arg(p.gaveUp == 1 ? QStringLiteral("is") : QStringLiteral("are"))
        .arg(p.firstGaveUp);
}

void SearchProblems::addLater(const SearchProblems &p)
{
    damagedArchives += p.damagedArchives;
    damagedReasons += p.damagedReasons;
    unreadable += p.unreadable;
    if (gaveUp == 0)
        firstGaveUp = p.firstGaveUp;
    gaveUp += p.gaveUp;
}

} // namespace search
