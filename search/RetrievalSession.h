#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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
