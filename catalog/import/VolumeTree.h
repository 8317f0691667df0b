#pragma once

#include "catalog/import/ImportTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <vector>

// One volume's folders and files as a source lists them, turned into a record section in the
// disc walk's order once the volume is complete: a folder's files in the order listed, then
// its subfolders in the order listed, depth first. Entries may be added before their name or
// kind is known (some sources give a folder's contents before its name). Names are checked
// when the records are built, where the first unacceptable one refuses the volume.
class VolumeTree
{
public:
    static constexpr int kRoot = 0;
    // Longest folder path below the root, in bytes.
    static constexpr qsizetype kMaxPath = 32768;

    VolumeTree();
    void clear();

    // A new entry of unknown kind, last among the parent's entries.
    int add(int parent);
    void setName(int node, QByteArrayView name);
    void setFile(int node, qint64 size, int32_t packedDate);
    void setFolder(int node);
    // Left out of the records with everything below it.
    void setSkipped(int node);

    int addFolder(int parent, QByteArrayView name);
    int addFile(int parent, QByteArrayView name, qint64 size, int32_t packedDate);
    // The folder at a path below the root ("a/b", "/"-separated, empty for the root), made
    // with its parents when missing. For sources that list paths rather than trees.
    int folderAt(QByteArrayView path);

    qint64 entries() const { return qint64(m_nodes.size()) - 1; }
    // Bytes held, to keep a volume within what an archive can hold.
    qint64 heldBytes() const;

    // Builds the volume's records, folder count and warnings into v. False, with v.refusal
    // set, when an entry cannot be recorded (its name or path is unacceptable).
    // With countOnly, only the counts are made.
    bool build(catimport::Volume &v, bool countOnly) const;

private:
    enum Kind : uint8_t { Unknown, File, Folder, Skipped };
    struct Node
    {
        int32_t firstChild = -1;
        int32_t lastChild = -1;
        int32_t next = -1;
        uint32_t nameAt = 0;
        uint32_t nameLength = 0;
        int32_t packedDate = 0;
        qint64 size = 0;
        Kind kind = Unknown;
    };
    QByteArrayView nameOf(const Node &n) const
    {
        return QByteArrayView(m_names.constData() + n.nameAt, n.nameLength);
    }

    std::vector<Node> m_nodes;
    QByteArray m_names;
    QHash<QByteArray, int> m_folders; // by path, for folderAt
};

namespace catimport {

// Why a name cannot be an entry's name, or nullptr when it can: empty, "." or "..", with a
// "/" or a NUL, or longer than 255 bytes.
const char *nameProblem(QByteArrayView name);

} // namespace catimport
