#include "ArchiveStaging.h"

#include "catalog/Archive.h"
#include "catalog/ArchiveText.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogSwap.h"
#include "catalog/Checksum.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFileInfo>

#include <climits>

namespace backup {

namespace {

// What a mark field holds at most.
constexpr qsizetype kMaxMark = 255;

} // namespace

QString markKey(const QString &mark)
{
    return mark.toUpper().toCaseFolded();
}

CatalogState CatalogState::read(const catalog::Catalog &catalog)
{
    CatalogState state;
    catalog.walk([&](const QString &path) {
        state.names.insert(QFileInfo(path).fileName().toCaseFolded());
        const std::optional<Archive> archive = Archive::loadFieldsIfPresent(path);
        if (!archive)
            return true;
        const QByteArrayView mark = archive->rawValue(u"AMark");
        if (!trimControls(mark).isEmpty())
            state.marks.insert(markKey(decodeArchiveText(mark)));
        int number = 0;
        if (parseArchiveInt(decodeArchiveText(trimControls(archive->rawValue(u"ANumber"))), &number) &&
            number > 0) {
            state.numbers.insert(number);
            state.highest = std::max(state.highest, number);
        }
        return true;
    });
    return state;
}

QString CatalogState::freeMark(const QString &mark) const
{
    const QString base = trimControls(mark);
    QString candidate = base.left(kMaxMark);
    for (int n = 2; marks.contains(markKey(candidate)); ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        candidate = trimControls(base.left(kMaxMark - suffix.size())) + suffix;
    }
    return candidate;
}

NewArchiveStaging::NewArchiveStaging(const catalog::Catalog &catalog, const char *kind, bool write)
    : m_catalog(catalog),
      m_folder(write ? std::make_unique<catalog::StagingFolder>(catalog.folder(), kind) : nullptr),
      m_state(CatalogState::read(catalog))
{
    m_next = m_state.highest > 0 ? m_state.highest + 1 : m_catalog.nextNumber();
}

NewArchiveStaging::~NewArchiveStaging() = default;

NewArchiveStaging::Staged NewArchiveStaging::stage(const QByteArray &records, ArchiveFields fields)
{
    Staged staged;
    const QString checksum = checksumOfBytes(records);
    staged.fileName = checksum + QStringLiteral(".dat");
    // Recognised as the add recognises a disc: an archive of that name in the catalog folder.
    const QString existing = m_catalog.archivePath(checksum);
    const auto stagedMark = m_stagedMarks.constFind(staged.fileName.toCaseFolded());
    if (stagedMark != m_stagedMarks.constEnd() || QFileInfo(existing).isFile()) {
        staged.present = true;
        if (stagedMark != m_stagedMarks.constEnd()) {
            staged.mark = stagedMark.value();
        } else {
            try {
                staged.mark = trimControls(ReadArchiveValue(existing, QStringLiteral("AMark")));
            } catch (const AmbryError &) {
                // Archived all the same; its mark just cannot be shown.
            }
        }
        return staged;
    }
    if (m_next <= 0 || m_next == INT_MAX)
        throw AmbryError(QStringLiteral("No archive number is free for \"%1\".").arg(fields.mark));
    fields.mark = m_state.freeMark(fields.mark);
    fields.number = m_next;
    // The staging folder as a catalog of its own, without a number store: the last number is
    // recorded once the archives are in.
    if (m_folder)
        writeNewArchive(catalog::Catalog(m_folder->path()), records, checksum, fields);
    m_state.addMark(fields.mark);
    m_state.numbers.insert(m_next);
    m_stagedMarks.insert(staged.fileName.toCaseFolded(), fields.mark);
    staged.mark = fields.mark;
    staged.number = m_next;
    m_last = m_next++;
    ++m_count;
    return staged;
}

void NewArchiveStaging::commit()
{
    if (m_count == 0 || !m_folder)
        return;
    const QString folder = m_folder->path();
    m_folder->release(); // the move owns it now
    catalog::moveIntoCatalog(m_catalog.folder(), folder);
    m_catalog.recordNumber(m_last);
}

} // namespace backup
