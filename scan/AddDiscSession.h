#pragma once

#include "DiscWalker.h"
#include "catalog/Catalog.h"
#include "util/Progress.h"
#include "util/gUtils.h"

class HostageFile;

#include <QString>

#include <functional>
#include <optional>

// The rules of adding one disc to the catalog, without a window: refuse an audio disc, walk
// the disc, recognise a disc that is already archived by the checksum of its records,
// propose the next mark, refuse a mark in use and save the archive. The add-disc window and
// `ambrylog-cli add` both drive it, step by step, so each can show what happens between steps.
class AddDiscSession
{
public:
    enum class Outcome {
        None,            // nothing decided yet
        AudioDisc,       // refused before any walk
        Aborted,         // the walk was cancelled
        Empty,           // no file recorded (also a drive without a readable disc)
        AlreadyArchived, // an archive of the same records is in the catalog folder
        MarkEntry,       // a new disc: the user may mark it and save it
        Unreadable,      // a disc image that is damaged or no image at all: message() says why
    };

    // The disc in the drive with this letter (its root path comes from the drive layer).
    // The walk keeps the hostage file, for the next wait to know the disc.
    AddDiscSession(char driveLetter, const catalog::Catalog &catalog, HostageFile &hostage);
    // A folder walked as a folder drive would be; no audio test and no tray.
    static AddDiscSession forFolder(const QString &folder, const catalog::Catalog &catalog,
                                    HostageFile &hostage);
    // An ISO 9660 disc image file, read without mounting; no audio test and no tray. Its
    // archive's source field says "Image".
    static AddDiscSession forImage(const QString &imagePath, const catalog::Catalog &catalog);

    DiscWalker &walker() { return m_walker; }
    const DiscWalker &walker() const { return m_walker; }
    char driveLetter() const { return m_letter; }

    // Step 1. Sets the outcome AudioDisc when the drive holds an audio disc.
    bool checkAudioDisc();
    // Step 2: walks the disc and decides between Aborted, Empty, AlreadyArchived and MarkEntry.
    Outcome scan();
    Outcome outcome() const { return m_outcome; }

    // Whether the tray should open when the session ends (by Cancel/Close, or after a save).
    bool ejectOnClose() const;
    // The message that describes the outcome, CR LF marking line breaks.
    QString message() const;
    // "N folders could not be read." when the walk had to skip folders (the archive then
    // lacks what was in them), else empty.
    QString incompleteNote() const;

    // What the location is before the user types one: the image file's path for an image.
    QString defaultLocation() const { return m_image; }

    QString checksum() const { return m_checksum; }
    int archiveNumber() const { return m_number; }
    QString proposedMark() const;
    // For AlreadyArchived: the archive that holds these records and its mark, untrimmed.
    QString existingArchivePath() const { return m_existingPath; }
    QString existingMark() const { return m_existingMark; }

    enum class SaveResult {
        Saved,
        AlreadyArchived, // another add saved these records meanwhile: outcome() says so now
        MarkInUse,       // the mark, trimmed as stored, is in use (without regard to case)
        NoChecksum,      // the checksum is blank ("Cannot Get CRC."): nothing is written
    };
    // Saves the archive under the catalog lock: takes the lock, looks again whether an
    // archive of these records exists and chooses the number again (another add may have
    // saved meanwhile), refuses a mark in use, writes the archive (texts stored trimmed)
    // (savedPath(), empty until the file is written).
    // Without a mark, the proposed mark of the number chosen under the lock is used. Another
    // writer of the catalog is waited for CatalogLock::waitMs(), telling lockWait meanwhile.
    // Throws AmbryError: the catalog lock's text when another writer kept the catalog
    // ("The catalog is in use by another Ambrylog."), the path and reason when an archive cannot be read or
    // written.
    SaveResult save(const std::optional<QString> &mark, const QString &location, const QString &note,
                    const Progress &lockWait = {});
    // Archives that numbering or the mark check could not read: their numbers and marks were
    // not seen. The add goes on; the window's message and the command line warn.
    const UnreadableArchives &unreadableArchives() const { return m_unreadable; }
    // Damaged archives met while numbering (their numbers still count when they can be read).
    const UnreadableArchives &damagedArchives() const { return m_damaged; }
    // The numbers ran past the largest, so the number is the lowest free one, not one above the
    // highest: the user is told.
    bool numberWrapped() const { return m_numberWrapped; }
    // The archive the last save wrote.
    QString savedPath() const { return m_savedPath; }
    // The mark the last save used, trimmed.
    QString savedMark() const { return m_savedMark; }
    // Opens the tray of the session's drive (nothing for a folder).
    void eject() const;

private:
    // hostage: none for an image, which holds no tray shut.
    AddDiscSession(char driveLetter, const QString &folder, const catalog::Catalog &catalog,
                   HostageFile *hostage);
    // Reads the image into the walker; false when it is damaged or no image.
    bool walkImage(bool *finished);
    // Whether the catalog folder holds an archive of these records; notes its path and mark.
    bool findExisting();

    DiscWalker m_walker;
    char m_letter = 0;
    QString m_folder; // set for a folder session
    QString m_image;  // set for an image session
    QString m_imageTrouble; // why the image cannot be read
    catalog::Catalog m_catalog;
    Outcome m_outcome = Outcome::None;
    QString m_checksum;
    int m_number = 0;
    QString m_existingPath;
    QString m_existingMark;
    QString m_savedPath;
    QString m_savedMark;
    UnreadableArchives m_unreadable;
    UnreadableArchives m_damaged;
    bool m_numberWrapped = false;
    void chooseNumber();
    void noteUnreadable(const UnreadableArchives &found);
};

// The session's texts, shared by the window and the command line.
namespace scantext {
inline const QString Scanning = QStringLiteral("Scanning CD/DVD, please wait...");
inline const QString AudioDisc =
    QStringLiteral("Disk is an Audio CD/DVD.\r\nPlease use only CD/DVD that contains data or Mp3 files.");
inline const QString Aborted = QStringLiteral("Aborted.");
inline const QString Empty = QStringLiteral("Disk is empty.");
inline const QString AlreadyArchived = QStringLiteral("CD/DVD is already archived under: \r\n");
inline const QString MarkWith = QStringLiteral("Mark the CD/DVD with label: ");
inline const QString OrTypeMark =
    QStringLiteral("or type in the below Mark field what the CD/DVD is already marked.");
inline const QString Saving = QStringLiteral("Saving to Catalog...");
// Above the summary of what a save put into the catalog.
inline const QString Saved = QStringLiteral("Saved to the catalog:");
// How long the window says so before it closes by itself (any key closes it at once), so a
// stack of discs added one after another needs no key between them.
constexpr int SavedShownMs = 2000;
inline const QString MarkExists = QStringLiteral("The mark already exists!");
inline const QString CannotGetCrc = QStringLiteral("Cannot Get CRC.");
inline const QString ProposedMarkPrefix = QStringLiteral("CD No: ");
// Added when the numbers ran past the largest (%1: the number given).
inline const QString NumberWrapped = QStringLiteral(
    "The archive numbers have reached 2147483647; this archive gets the lowest free number, %1.");
inline QString foldersUnreadable(qint64 count)
{
    return countOf(count, "folder", "folders") + QStringLiteral(" could not be read.");
}
// Added to the mark entry's message when archives could not be read.
inline QString unreadableWarning(qint64 count)
{
    return QStringLiteral("Warning: ") + countOf(count, "archive", "archives") +
           QStringLiteral(" could not be read; their marks and numbers were not checked.");
}
// What a save put into the catalog, shown under the saving message: "1,234 files in 56 folders,
// 4.2 GB" with the user's separators; singular for one, and without folders for a disc that
// holds its files in the root only.
QString catalogued(qint64 files, qint64 folders, qint64 bytes);
} // namespace scantext
