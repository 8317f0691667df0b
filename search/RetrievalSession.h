#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

class DiscRequester;

// Finding a catalogued file on the disc in the read device. Paths are bytes, as Linux names
// files: a name that is not valid UTF-8 must be found under exactly the bytes the archive holds.
namespace retrieval {

// The file's path below the disc root: the folder line with "/" for "\" and a "/" after it
// (nothing for the root folder line "\"), then the name. "Music\Rock" + "song.mp3" gives
// "Music/Rock/song.mp3"; "\" + "readme.txt" gives "readme.txt".
QByteArray relativePath(QByteArrayView folderLine, QByteArrayView name);

// root (a real folder ending in "/", may be empty) followed by the relative path.
QByteArray joinRoot(const QString &root, const QByteArray &relative);

// True when a file (not a folder) exists at the path.
bool fileExists(const QByteArray &path);

// The path to use for a row (empty when root is empty: no medium, nothing to find): the bytes as
// stored when a file is there. Lines that are not UTF-8 came from another system's code page; a
// Linux mount shows such names in UTF-8, so the text the list shows is tried next. When neither
// exists, the bytes as stored.
QByteArray locate(const QString &root, QByteArrayView folderLine, QByteArrayView name,
                  const QString &folderText, const QString &nameText);

inline const QString InsertDisc = QStringLiteral("Insert CD/DVD marked: ");
inline const QString WrongDisc = QStringLiteral("You inserted wrong CD/DVD.");

} // namespace retrieval

// One file of a catalogued disc, as its archive records it.
struct CataloguedFile
{
    QByteArray folderLine; // as stored
    QByteArray name;
    QString folderText; // as shown
    QString nameText;
    QString mark;
};

// Getting a catalogued file from its disc: look for it on the read device; when it is not there,
// open the tray and ask for the disc by its mark; after the wait look again, and when it is still
// not there, say so and open the tray. Any disc that holds a file at the path is the right one.
class RetrievalSession
{
public:
    enum class Outcome { Found, Cancelled, TimedOut, WrongDisc };

    RetrievalSession(char readDevice, CataloguedFile file);

    // The archive the file is catalogued in: a disc added from a disc image is read from the
    // image while the image is there.
    void setArchive(const QString &archivePath) { m_archive = archivePath; }
    // Takes the file out of the disc image its archive was added from, when that image is
    // still at the archive's location and holds the file: no disc is asked for, and path()
    // names the copy. Throws AmbryError when the image is there but the file cannot be taken
    // out of it.
    bool takeFromImage();
    // Throws AmbryError "Not a valid drive ID" when there is no read device.
    Outcome run(DiscRequester &requester);
    // Where the file is (after Found).
    QByteArray path() const { return m_path; }
    // Where the file would be on the medium in the read device now.
    QByteArray locate() const;

private:
    char m_letter;
    CataloguedFile m_file;
    QString m_archive;
    QByteArray m_path;
};

// One folder of a catalogued disc, to be handed over whole: what the file manager pastes is the
// folder with everything below it.
struct CataloguedFolder
{
    QByteArray folderLine; // as stored, "\" for the root
    // The name the copy of a folder taken out of a disc image gets: the folder's own, the mark
    // for the root.
    QString name;
    QString mark;
    // Every file recorded below the folder. The first one proves the disc: any disc that holds
    // it at its path is the right one. Only the image needs the others.
    std::vector<CataloguedFile> files;
};

// Getting a folder of a catalogued disc: the disc is asked for once, by the first file below
// the folder, as RetrievalSession asks for a file; the folder is then the one on the disc that
// holds that file. A disc added from a disc image gives a copy of the folder taken out of the
// image instead.
class FolderRetrieval
{
public:
    FolderRetrieval(char readDevice, CataloguedFolder folder);

    void setArchive(const QString &archivePath) { m_archive = archivePath; }
    // Copies every file below the folder out of the image the archive was added from, when
    // that image is at the archive's location and holds the first of them. Throws AmbryError
    // when the image is there but a file cannot be taken out of it.
    bool takeFromImage();
    // Throws AmbryError "Not a valid drive ID" when there is no read device. A folder without
    // files gives WrongDisc without asking: there is nothing to prove the disc by.
    RetrievalSession::Outcome run(DiscRequester &requester);
    // The folder, without a trailing "/" (after Found, or after takeFromImage()).
    QByteArray path() const { return m_path; }

private:
    char m_letter;
    CataloguedFolder m_folder;
    QString m_archive;
    QByteArray m_path;
};

namespace retrieval {
// The folder that holds a found file: its path with as many names cut from its end as the
// file lies below the folder (the file's own name and the folders between). "Music\Rock" +
// "/m/D/Music/Rock/a.mp3" for the folder "Music" gives "/m/D/Music"; for the root "/m/D".
QByteArray folderOfFound(const QByteArray &foundFile, QByteArrayView fileFolderLine,
                         QByteArrayView folderLine);
// The names of a folder line without empty ones.
int folderDepth(QByteArrayView folderLine);
} // namespace retrieval
