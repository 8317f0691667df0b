#pragma once

#include "PosixFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// A file the user named for the program to write: a backup, an export, a copy. Every command and
// window that writes one goes through this class, so the rules hold everywhere:
// - "-" is standard output, written as it comes (nothing is renamed);
// - a symbolic link is followed to its target, which is replaced; the link stays a link;
// - the target is replaced atomically: the content goes to a hidden file beside it
//   (".NAME.part-PID-XXXXXX"), is flushed to disk and then renamed over it, keeping an existing
//   file's permissions; an error, a cancel or a kill leaves the old file as it was;
// - anything that is not a regular file or a new name (a folder, a FIFO, a device, a socket) is
//   refused before anything is written, with a message that says what stands there.
// A hidden file of a writer that died is removed by the next writer to the same target.
class OutputFile
{
public:
    enum class Writing {
        Streamed, // through write()
        ByPath,   // by another writer that needs a file name (libzip): temporaryPath()
    };

    // How "-" reaches standard output: false when the write failed (the caller keeps why, as
    // ambrylog-cli's checked output does). Without one, the bytes go to descriptor 1.
    using StandardOutput = std::function<bool(QByteArrayView bytes)>;

    // Throws AmbryError when the name is refused or the hidden file cannot be made. For
    // standard output, ByPath content is kept in a hidden file of the temporary folder and
    // copied out by commit().
    explicit OutputFile(const QString &name, Writing writing = Writing::Streamed,
                        StandardOutput standardOutput = {});
    // Drops what was written unless committed.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool isStandardOutput() const { return m_standardOutput; }
    // As the user gave it, for messages.
    const QString &name() const { return m_name; }
    // The file that is replaced or created: the link's target when the name is a link. Empty
    // for standard output.
    const QString &targetPath() const { return m_target; }
    // Where ByPath content is written (a file that exists, empty).
    QString temporaryPath() const;

    // Appends bytes (Streamed). Throws AmbryError naming the file and the reason.
    void write(QByteArrayView bytes);
    // Puts the content in place (see above); for standard output, flushes it or copies the
    // ByPath content out. Throws AmbryError; the old file then stands as it was.
    void commit();
    // Drops what was written; nothing happens to the target.
    void discard();

    // Whether a file name is one of this writer's hidden files for the target named
    // targetName, and which process made it (-1 when it is not one).
    static qint64 temporaryOwner(QByteArrayView fileName, QByteArrayView targetName);

private:
    [[noreturn]] void fail(const QString &what, int err) const;
    void removeStaleTemporaries() const;

    void toStandardOutput(QByteArrayView bytes);

    QString m_name;
    StandardOutput m_standardOutputWriter;
    QString m_target;
    QByteArray m_temp;
    UniqueFd m_fd;
    Writing m_writing;
    bool m_standardOutput = false;
    bool m_done = false;
};
