#include "ArchiveStaging.h"

#include "catalog/Archive.h"
#include "catalog/ArchiveText.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogSwap.h"
#include "catalog/Checksum.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace backup {

namespace {

// What a mark field holds at most.
constexpr qsizetype kMaxMark = kMaxFieldLength;

} // namespace

QString markKey(const QString &mark)
{
    return mark.toUpper().toCaseFolded();
}

CatalogState CatalogState::read(const catalog::Catalog &catalog)
{
    CatalogState state;
    catalog.walk([&](const QString &path) {
        state.names.insert(QFileInfo(path).fileName().toCaseFolded(), path);
        const std::optional<Archive> archive = Archive::loadFieldsIfPresent(path);
        if (!archive)
            return true;
        const QByteArrayView mark = archive->rawValue(u"AMark");
        if (!trimControls(mark).isEmpty())
            state.marks.insert(markKey(decodeArchiveText(mark)));
        int number = 0;
        if (catalog::ArchiveNumbers::parse(archive->rawValue(u"ANumber"), &number))
            state.numbers.add(number);
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
{}

NewArchiveStaging::~NewArchiveStaging() = default;

NewArchiveStaging::Staged NewArchiveStaging::stage(const QByteArray &records, ArchiveFields fields)
{
    Staged staged;
    const QString checksum = checksumOfBytes(records);
    staged.fileName = checksum + QStringLiteral(".dat");
    // Recognised as the add recognises a disc: an archive of that name anywhere in the catalog.
    const auto found = m_state.names.constFind(staged.fileName.toCaseFolded());
    if (found != m_state.names.constEnd()) {
        staged.present = true;
        const auto stagedMark = m_stagedMarks.constFind(staged.fileName.toCaseFolded());
        if (stagedMark != m_stagedMarks.constEnd()) {
            staged.mark = stagedMark.value();
        } else {
            try {
                staged.mark = trimControls(ReadArchiveValue(found.value(), QStringLiteral("AMark")));
            } catch (const AmbryError &) {
                // Archived all the same; its mark just cannot be shown.
            }
        }
        return staged;
    }
    fields.mark = m_state.freeMark(fields.mark);
    fields.number = m_state.numbers.next(m_catalog.storedNumber());
    // The staging folder as a catalog of its own, without a number store: the last number is
    // recorded once the archives are in.
    if (m_folder)
        writeNewArchive(catalog::Catalog(m_folder->path()), records, checksum, fields);
    m_state.addMark(fields.mark);
    m_state.numbers.add(fields.number);
    m_state.names.insert(staged.fileName.toCaseFolded(), staged.fileName);
    m_stagedMarks.insert(staged.fileName.toCaseFolded(), fields.mark);
    staged.mark = fields.mark;
    staged.number = fields.number;
    m_last = fields.number;
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

// ---- Whole archives ---------------------------------------------------------------------------

namespace {

const QString ScratchName = QStringLiteral(".incoming");

} // namespace

ArchiveIntake::ArchiveIntake(const catalog::Catalog &catalog, const char *kind)
    : m_catalog(catalog), m_staging(std::make_unique<catalog::StagingFolder>(catalog.folder(), kind)),
      m_state(CatalogState::read(catalog))
{}

ArchiveIntake::~ArchiveIntake() = default;

QString ArchiveIntake::scratchPath() const
{
    return m_staging->path() + ScratchName;
}

IntakeVerdict ArchiveIntake::offer(const QString &label)
{
    const QString scratch = scratchPath();
    QFile file(scratch);
    if (!file.open(QIODevice::ReadOnly))
        throw AmbryError(QStringLiteral("Cannot read file \"%1\". %2").arg(scratch, file.errorString()));
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(scratch);
    return offerBytes(label, bytes);
}

IntakeVerdict ArchiveIntake::offerBytes(const QString &label, const QByteArray &bytes)
{
    IntakeVerdict v;
    const Archive archive = Archive::fromBytes(bytes);
    // The records' checksum is what the archive's name should be, whatever it is called now.
    const qsizetype begin = archive.fieldsBegin();
    const QByteArrayView records =
        QByteArrayView(bytes).first(begin < archive.lineCount() ? archive.lineOffset(begin) : bytes.size());
    const int64_t sum = checksumSum(records);
    QString base = checksumText(sum);
    if (sum == -1) {
        // No records to name it by: its own name stands for it.
        const QString own = label.section(QLatin1Char('/'), -1);
        base = own.left(own.size() - catalog::Catalog::ArchiveSuffix.size());
    }
    v.fileName = base + catalog::Catalog::ArchiveSuffix;
    if (const auto it = m_state.names.constFind(v.fileName.toCaseFolded()); it != m_state.names.constEnd()) {
        const bool inCatalog = it.value().startsWith(m_catalog.folder());
        v.kind = inCatalog ? IntakeVerdict::Kind::Present : IntakeVerdict::Kind::Duplicate;
        v.reason = inCatalog ? QStringLiteral("already in the catalog as %1")
                                   .arg(it.value().mid(m_catalog.folder().size()))
                             : QStringLiteral("the same archive as %1").arg(it.value());
        return v;
    }
    v.damage = archive.damage();

    QList<std::pair<QString, QString>> changes;
    QString mark;
    const QByteArrayView markBytes = archive.rawValue(u"AMark");
    if (!trimControls(markBytes).isEmpty()) {
        mark = decodeArchiveText(markBytes);
        if (m_state.marks.contains(markKey(mark))) {
            v.oldMark = trimControls(mark);
            v.newMark = mark = m_state.freeMark(mark);
            changes.append({QStringLiteral("AMark"), mark});
        }
    }
    int number = 0;
    const bool numbered = catalog::ArchiveNumbers::parse(archive.rawValue(u"ANumber"), &number);
    if (numbered && m_state.numbers.contains(number)) {
        v.oldNumber = number;
        number = v.newNumber = m_state.numbers.next();
        changes.append({QStringLiteral("ANumber"), QString::number(number)});
    }
    if (!changes.isEmpty() && bytes.contains('\0')) {
        // Readers stop at a NUL: its fields cannot be rewritten without losing what follows.
        v.kind = IntakeVerdict::Kind::Refused;
        v.reason = QStringLiteral("damaged (%1), and its mark or number is in use").arg(v.damage);
        return v;
    }

    writeFileAtomically(m_staging->path() + v.fileName,
                        changes.isEmpty() ? bytes : withFieldValues(bytes, changes));
    if (!mark.isEmpty())
        m_state.addMark(mark);
    if (numbered)
        m_state.numbers.add(number);
    m_state.names.insert(v.fileName.toCaseFolded(), label);
    ++m_added;
    v.kind = IntakeVerdict::Kind::Added;
    return v;
}

void ArchiveIntake::commit()
{
    QFile::remove(scratchPath());
    if (m_added == 0)
        return; // the staging folder goes with the intake
    const QString folder = m_staging->path();
    m_staging->release(); // the move owns it now
    catalog::moveIntoCatalog(m_catalog.folder(), folder);
}

} // namespace backup
