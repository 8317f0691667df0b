#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct _iso9660_s;

// An ISO 9660 disc image read where it lies, without mounting it and without privileges,
// through libiso9660 (libcdio's ISO 9660 library). Folders list their entries in the order
// of their records on the image, which is the order a mount lists them, and with the names
// Linux's iso9660 driver shows: Rock Ridge names when the image has them, else Joliet
// names, else the plain names in lower case without their ";1".
class IsoImage
{
public:
    enum class Names { RockRidge, Joliet, Plain };
    struct Extent
    {
        quint32 block = 0; // in 2,048-byte blocks from the start of the image
        quint32 bytes = 0;
    };
    struct Entry
    {
        enum class Kind {
            File,
            Folder,
            Link,
            // A Rock Ridge stand-in for a folder the image's maker moved elsewhere because it
            // lay too deep; this reader cannot follow it to its contents.
            MovedFolder,
        };
        QByteArray name; // as a mount shows it
        QByteArray key;  // as the library names it, to find the entry again
        Kind kind = Kind::File;
        // A link that leads to a file of the image has that file's size, time and data, as
        // a walk of the mounted image sees it; any other link has size 0 and its own time.
        qint64 size = 0;  // all the parts of a file of 4 GiB or more together
        qint64 mtime = 0; // last write, seconds since the epoch
        std::vector<Extent> extents;
        QByteArray linkTarget; // a link's target as the image records it
    };

    ~IsoImage();
    IsoImage(const IsoImage &) = delete;
    IsoImage &operator=(const IsoImage &) = delete;

    // The image in the file at path; nullptr with *error set to a message for the user when
    // the file cannot be read, is no ISO 9660 image or its root folder cannot be read.
    static std::unique_ptr<IsoImage> open(const QString &path, QString *error);

    const QString &path() const { return m_path; }
    Names names() const { return m_names; }

    // The entries of the folder reached by these keys (each followed by "/"; empty for the
    // root), in their order on the image, without "." and "..". False when it cannot be read.
    bool list(const QByteArray &folderKeys, std::vector<Entry> *out) const;
    // Whether every byte of the entry's data lies inside the image file: a cut-off image
    // (a copy or download that did not finish) lists its files but lacks their data.
    bool holdsData(const Entry &entry) const;

    // The file that a record names: its folder line ("\" for the root) and its name as
    // recorded. Nothing when the image holds no such file.
    std::optional<Entry> findRecorded(QByteArrayView folderLine, QByteArrayView name) const;
    // Writes the entry's data to a new file at destination, with the entry's time. False
    // with *error set when the image cannot be read or the file cannot be written.
    bool copyOut(const Entry &entry, const QString &destination, QString *error) const;

private:
    IsoImage() = default;
    // As list(), links not yet followed.
    bool listRaw(const QByteArray &folderKeys, std::vector<Entry> *out) const;
    // Gives a link the size, time and data of the file it leads to, if it leads to one.
    void resolveLink(const QByteArray &folderKeys, Entry &link) const;
    // The keys of the folder whose folder line is parts (split at "\"), looked for below
    // the folder at keys and relative (its names, each followed by "/") from parts[depth] on.
    bool findFolder(const QByteArray &keys, const QByteArray &relative, const QList<QByteArray> &parts,
                    qsizetype depth, QByteArray *found) const;

    _iso9660_s *m_iso = nullptr;
    QString m_path;
    qint64 m_fileSize = 0;
    Names m_names = Names::Plain;
};

// The rules of the reader, open to the tests.
namespace isoimage {

// A plain ISO 9660 identifier as Linux shows it: lower case, without a trailing ";1" (or
// ".;1"), any other ";" as ".".
QByteArray plainName(QByteArrayView identifier);
// A Joliet name as Linux shows it: without a trailing ";1" and without trailing dots.
QByteArray jolietName(QByteArrayView name);
// A file of 4 GiB or more lies in parts under 4 GiB, as consecutive records of one name:
// joins each such run into one entry whose size is the parts' sum.
void joinParts(std::vector<IsoImage::Entry> &entries);
// A 7-byte ISO 9660 recording time (years since 1900, month, day, hour, minute, second,
// offset from GMT in 15-minute steps) in seconds since the epoch. An offset outside
// -52..52 is ignored, as Linux does.
qint64 recordingTime(const unsigned char raw[7]);
// A 17-byte ISO 9660 long time ("YYYYMMDDHHMMSScc" and the offset byte), as above.
qint64 longTime(const unsigned char raw[17]);

// Texts for the user.
QString notAnImage(const QString &path);
QString damaged(const QString &path, const QString &why);

} // namespace isoimage
