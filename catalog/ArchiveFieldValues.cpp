#include "ArchiveFieldValues.h"

#include "AmbryError.h"
#include "Archive.h"

#include <optional>

ArchiveFieldValues readArchiveFields(const QString &path, bool checkRecords)
{
    ArchiveFieldValues out;
    std::optional<Archive> archive;
    try {
        archive = checkRecords ? Archive::loadIfPresent(path) : Archive::loadFieldsIfPresent(path);
    } catch (const AmbryError &e) {
        out.state = ArchiveFieldValues::State::Unreadable;
        out.problem = e.message();
        return out;
    }
    if (!archive) {
        out.state = ArchiveFieldValues::State::Missing;
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
