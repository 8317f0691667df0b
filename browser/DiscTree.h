#pragma once

// One disc as folders: the file records of its archive read once and kept compactly (every name
// once in one byte arena, numbers as numbers, files grouped by folder), with each folder's
// totals over everything below it. The Explore window's two models and `ambrylog-cli ls` and
// `tree` read it; nothing here needs a display.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace browser {

class DiscTree
{
public:
    static constexpr uint32_t NoFolder = UINT32_MAX;
    static constexpr uint32_t Root = 0;

    struct Folder
    {
        uint32_t parent = NoFolder;
        uint32_t row = 0; // its place among its parent's subfolders
        uint32_t name = 0, nameLength = 0;
        uint32_t line = 0, lineLength = 0; // the folder line as the records store it
        uint32_t firstChild = 0, childCount = 0;
        uint32_t firstFile = 0, fileCount = 0;
        // Everything below: sizes added as the catalog totals add them (a size line that is not a
        // number is left out), files, folders, the newest valid date.
        qint64 bytes = 0;
        uint32_t filesBelow = 0, foldersBelow = 0;
        int32_t newest = 0;
        bool newestValid = false;
    };
    struct File
    {
        qint64 size = 0;
        uint32_t name = 0, nameLength = 0;
        int32_t date = 0;
        uint8_t flags = 0;
    };
    enum FileFlag : uint8_t { SizeValid = 1, DateValid = 2 };

    // Reads the archive's records through the search's reader, so a damaged archive gives the
    // whole records it still holds (damage() says why it is damaged). Throws AmbryError when the
    // archive cannot be read at all.
    static DiscTree read(const QString &archivePath);

    const QString &archivePath() const { return m_archivePath; }
    // The archive's mark, "Unknown" when it has none: the root's caption.
    const QString &mark() const { return m_mark; }
    // Why the archive is damaged; empty when it is sound.
    const QString &damage() const { return m_damage; }

    uint32_t folderCount() const { return uint32_t(m_folders.size()); }
    qint64 fileCount() const { return qint64(m_files.size()); }
    const Folder &folder(uint32_t f) const { return m_folders[f]; }
    // Subfolder i of a folder (0 <= i < childCount), in the order of their names.
    uint32_t child(uint32_t f, uint32_t i) const { return m_children[m_folders[f].firstChild + i]; }
    // File i of a folder (0 <= i < fileCount), in the order the archive records them.
    const File &file(uint32_t f, uint32_t i) const { return m_files[m_folders[f].firstFile + i]; }

    QByteArrayView folderName(uint32_t f) const;
    QByteArrayView folderLine(uint32_t f) const; // "\" for the root
    QByteArrayView fileName(const File &file) const;
    // Decoded as every reader of archives decodes (UTF-8, else Windows-1252); the root shows the
    // mark.
    QString folderNameText(uint32_t f) const;
    QString fileNameText(const File &file) const;
    // The type the search shows: the name's part after its last dot, without the dot.
    QString fileTypeText(const File &file) const;
    // "\" for the root, else "\" + the folder's names joined by "\".
    QString folderPathText(uint32_t f) const;

    // Where a typed path leads: "\Music\Rock", "Music/Rock/" and "/" alike; a path whose last
    // part names a file leads to its folder with that file. Each part is matched as recorded
    // first, then without regard to letter case. NoFolder when nothing matches.
    struct Place
    {
        uint32_t folder = NoFolder;
        int file = -1; // index in the folder's files
    };
    Place find(const QString &path) const;
    // The folder a record's folder line names (as stored), and the file of that name in it.
    Place findRecorded(QByteArrayView folderLine, QByteArrayView name) const;

    // Bytes the storage takes, for the figures.
    qint64 memoryUsed() const;

    // Builds a tree from records handed in one at a time (the reader's sink, and the tests).
    class Builder;

private:
    QString m_archivePath;
    QString m_mark;
    QString m_damage;
    QByteArray m_arena;
    std::vector<Folder> m_folders;
    std::vector<uint32_t> m_children;
    std::vector<File> m_files;
};

class DiscTree::Builder
{
public:
    Builder();
    ~Builder();
    Builder(const Builder &) = delete;
    Builder &operator=(const Builder &) = delete;

    void add(QByteArrayView folderLine, QByteArrayView name, qint64 size, bool sizeValid, int32_t date,
             bool dateValid);
    DiscTree finish(const QString &archivePath, const QString &mark, const QString &damage);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// "Folders: 3; Files: 12 (in all: 40 folders, 1,234 files); Total size: 1.13 MB (1,185,000)":
// a folder's own entries, then everything below it.
QString folderStatusLine(const DiscTree &tree, uint32_t folder);

} // namespace browser
