#include "ArchiveFieldValues.h"

#include "Archive.h"

#include <optional>

ArchiveFieldValues readArchiveFields(const QString &path, bool checkRecords)
{
    ArchiveFieldValues out;
    QString reason;
    const std::optional<Archive> archive = Archive::read(path, !checkRecords, &reason);
    if (!archive) {
        out.state =
            reason.isEmpty() ? ArchiveFieldValues::State::Missing : ArchiveFieldValues::State::Unreadable;
        out.problem = reason;
        return out;
    }
    out.date = archive->value(u"ADate");
    out.mark = archive->value(u"AMark");
    out.location = archive->value(u"ALocation");
    out.files = archive->value(u"AFiles");
    out.dirs = archive->value(u"ADirs");
    out.note = archive->value(u"ANote");
    out.size = archive->value(u"ASize");
    out.number = archive->value(u"ANumber");
    out.recordsJudged = archive->isWhole();
    out.problem = archive->damage();
    if (!out.problem.isEmpty())
        out.state = ArchiveFieldValues::State::Damaged;
    return out;
}
