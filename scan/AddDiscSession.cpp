#include "AddDiscSession.h"

#include "IsoImage.h"

#include <algorithm>

#include "catalog/Archive.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/Checksum.h"
#include "drives/gDrives.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"

#include <QDateTime>
#include <QFileInfo>

#include <memory>

AddDiscSession::AddDiscSession(char driveLetter, const QString &folder, const catalog::Catalog &catalog,
                               HostageFile *hostage)
    : m_letter(driveLetter), m_folder(folder), m_catalog(catalog)
{
    m_walker.setHostageFile(hostage);
}

AddDiscSession::AddDiscSession(char driveLetter, const catalog::Catalog &catalog, HostageFile &hostage)
    : AddDiscSession(driveLetter, QString(), catalog, &hostage)
{}

AddDiscSession AddDiscSession::forFolder(const QString &folder, const catalog::Catalog &catalog,
                                         HostageFile &hostage)
{
    return AddDiscSession(0, folder, catalog, &hostage);
}

AddDiscSession AddDiscSession::forImage(const QString &imagePath, const catalog::Catalog &catalog)
{
    AddDiscSession session(0, QString(), catalog, nullptr);
    session.m_image = QFileInfo(imagePath).absoluteFilePath();
    return session;
}

bool AddDiscSession::walkImage(bool *finished)
{
    m_imageTrouble.clear();
    const std::unique_ptr<IsoImage> image = IsoImage::open(m_image, &m_imageTrouble);
    if (!image) {
        m_walker.reset();
        return false;
    }
    *finished = m_walker.walkImage(*image);
    if (!*finished && !m_walker.failure().isEmpty()) {
        m_imageTrouble = m_walker.failure();
        return false;
    }
    return true;
}

bool AddDiscSession::checkAudioDisc()
{
    if (m_letter == 0)
        return false;
    bool audio = false;
    try {
        audio = IsAudioDisc(m_letter);
    } catch (const AmbryError &) {
        audio = false; // a drive that cannot answer walks as it is and reports what it finds
    }
    if (audio)
        m_outcome = Outcome::AudioDisc;
    return audio;
}

AddDiscSession::Outcome AddDiscSession::scan()
{
    m_checksum.clear();
    m_number = 0;
    m_existingPath.clear();
    m_existingMark.clear();

    bool finished = true;
    if (!m_image.isEmpty()) {
        // A damaged image gives no archive: its records would not be the disc's.
        if (!walkImage(&finished)) {
            m_outcome = Outcome::Unreadable;
            return m_outcome;
        }
    } else {
        // A drive without a readable disc has no root; it walks as empty.
        const QString root = m_letter ? DriveRootPath(m_letter) : m_folder;
        if (root.isEmpty())
            m_walker.reset();
        else
            finished = m_walker.walk(root);
    }
    if (!finished) {
        m_outcome = Outcome::Aborted;
        return m_outcome;
    }
    if (m_walker.records().isEmpty()) {
        m_outcome = Outcome::Empty;
        return m_outcome;
    }

    // The same records give the same checksum and so the same file name: that is how a disc
    // already in the catalog is recognised, wherever in the catalog the user moved it.
    m_checksum = checksumOfBytes(m_walker.records());
    if (findExisting()) {
        m_outcome = Outcome::AlreadyArchived;
        return m_outcome;
    }
    // Numbering reads every archive, so it is done only when a number is going to be offered.
    // This is a proposal: the save chooses again under the catalog lock.
    m_unreadable.clear();
    chooseNumber();
    m_outcome = Outcome::MarkEntry;
    return m_outcome;
}

bool AddDiscSession::findExisting()
{
    const QString existing = m_catalog.archiveWithChecksum(m_checksum);
    if (existing.isEmpty())
        return false;
    m_existingPath = existing;
    try {
        m_existingMark = ReadArchiveValue(existing, QStringLiteral("AMark"));
    } catch (const AmbryError &) {
        m_existingMark.clear(); // still archived; its mark just cannot be shown
    }
    return true;
}

QString AddDiscSession::incompleteNote() const
{
    const qint64 skipped = m_walker.counts().unreadableFolders;
    return skipped > 0 ? scantext::foldersUnreadable(skipped) : QString();
}

bool AddDiscSession::ejectOnClose() const
{
    switch (m_outcome) {
    case Outcome::AudioDisc:
    case Outcome::Empty:
    case Outcome::AlreadyArchived:
    case Outcome::MarkEntry:
        return m_letter != 0;
    case Outcome::None:
    case Outcome::Aborted:
    case Outcome::Unreadable:
        break;
    }
    return false;
}

QString AddDiscSession::proposedMark() const
{
    return scantext::ProposedMarkPrefix + QString::number(m_number);
}

QString AddDiscSession::message() const
{
    switch (m_outcome) {
    case Outcome::None:
        return scantext::Scanning;
    case Outcome::AudioDisc:
        return scantext::AudioDisc;
    case Outcome::Aborted:
        return scantext::Aborted;
    case Outcome::Empty:
        return scantext::Empty;
    case Outcome::AlreadyArchived:
        return scantext::AlreadyArchived + m_existingMark;
    case Outcome::Unreadable:
        return m_imageTrouble;
    case Outcome::MarkEntry: {
        QString text = scantext::MarkWith + proposedMark() + QStringLiteral("\r\n") + scantext::OrTypeMark;
        if (!m_unreadable.isEmpty())
            text += QStringLiteral("\r\n") + scantext::unreadableWarning(m_unreadable.size());
        if (m_numberWrapped)
            text += QStringLiteral("\r\n") + scantext::NumberWrapped.arg(m_number);
        return text;
    }
    }
    return {};
}

AddDiscSession::SaveResult AddDiscSession::save(const std::optional<QString> &mark, const QString &location,
                                                const QString &note, const Progress &lockWait)
{
    m_savedPath.clear();
    m_savedMark.clear();
    if (m_checksum.trimmed().isEmpty())
        return SaveResult::NoChecksum;

    // From here to the rename of the new archive no other writer changes the catalog, so
    // what is checked now still holds when the file lands.
    CatalogLock lock = m_catalog.lock();
    if (!lock.acquire(CatalogLock::waitMs(), lockWait))
        throw AmbryError(lock.errorText());
    if (findExisting()) {
        m_outcome = Outcome::AlreadyArchived;
        return SaveResult::AlreadyArchived;
    }
    chooseNumber();
    UnreadableArchives unreadable;
    const QString chosen = mark ? *mark : proposedMark();
    // Asked about the mark as it will be stored: blanks around a mark in use must not let a
    // second disc carry the same mark.
    const bool markInUse = m_catalog.markExists(trimControls(chosen), &unreadable);
    noteUnreadable(unreadable);
    if (markInUse)
        return SaveResult::MarkInUse;

    ArchiveFields fields;
    fields.mark = chosen;
    fields.location = location;
    fields.note = note;
    fields.files = m_walker.counts().files;
    fields.dirs = m_walker.counts().folders;
    fields.size = m_walker.counts().bytes;
    fields.number = m_number;
    fields.savedAt = QDateTime::currentDateTime();
    fields.source = m_image.isEmpty() ? archivesource::Disc : archivesource::Image;
    m_savedPath = writeNewArchive(m_catalog, m_walker.records(), m_checksum, fields);
    m_savedMark = chosen.trimmed();
    return SaveResult::Saved;
}

void AddDiscSession::chooseNumber()
{
    UnreadableArchives unreadable;
    m_damaged.clear();
    m_number = m_catalog.nextNumber(&unreadable, &m_damaged, &m_numberWrapped);
    noteUnreadable(unreadable);
}

void AddDiscSession::noteUnreadable(const UnreadableArchives &found)
{
    for (const UnreadableArchive &u : found) {
        const bool known = std::any_of(m_unreadable.cbegin(), m_unreadable.cend(),
                                       [&](const UnreadableArchive &k) { return k.path == u.path; });
        if (!known)
            m_unreadable.append(u);
    }
}

void AddDiscSession::eject() const
{
    if (m_letter != 0)
        OpenDriveDoor(m_letter);
}

QString scantext::catalogued(qint64 files, qint64 folders, qint64 bytes)
{
    QString text = countOf(files, "file", "files");
    if (folders > 0)
        text += QStringLiteral(" in ") + countOf(folders, "folder", "folders");
    return text + QStringLiteral(", ") + FormatFileSize(bytes);
}
