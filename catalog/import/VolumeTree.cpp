#include "catalog/import/VolumeTree.h"

#include "catalog/RecordSection.h"

#include <QCoreApplication>

namespace catimport {

const char *nameProblem(QByteArrayView name)
{
    if (name.isEmpty())
        return "an empty name";
    if (name == "." || name == "..")
        return "a name \".\" or \"..\"";
    if (name.size() > 255)
        return "a name longer than 255 bytes";
    for (const char c : name) {
        if (c == '/')
            return "a name with \"/\"";
        if (c == 0)
            return "a name with a NUL character";
    }
    return nullptr;
}

} // namespace catimport

VolumeTree::VolumeTree()
{
    clear();
}

void VolumeTree::clear()
{
    m_nodes.clear();
    m_nodes.shrink_to_fit();
    m_names = QByteArray();
    m_folders.clear();
    Node root;
    root.kind = Folder;
    m_nodes.push_back(root);
}

qint64 VolumeTree::heldBytes() const
{
    return qint64(m_nodes.size()) * qint64(sizeof(Node)) + m_names.size();
}

int VolumeTree::add(int parent)
{
    const int id = int(m_nodes.size());
    m_nodes.emplace_back();
    Node &p = m_nodes[size_t(parent)];
    if (p.lastChild < 0)
        p.firstChild = id;
    else
        m_nodes[size_t(p.lastChild)].next = id;
    p.lastChild = id;
    return id;
}

void VolumeTree::setName(int node, QByteArrayView name)
{
    // A name too long to record is kept long enough to be refused, no longer.
    const qsizetype keep = std::min<qsizetype>(name.size(), 256);
    Node &n = m_nodes[size_t(node)];
    n.nameAt = uint32_t(m_names.size());
    n.nameLength = uint32_t(keep);
    m_names.append(name.data(), keep);
}

void VolumeTree::setFile(int node, qint64 size, int32_t packedDate)
{
    Node &n = m_nodes[size_t(node)];
    n.kind = File;
    n.size = size;
    n.packedDate = packedDate;
}

void VolumeTree::setFolder(int node)
{
    m_nodes[size_t(node)].kind = Folder;
}

void VolumeTree::setSkipped(int node)
{
    m_nodes[size_t(node)].kind = Skipped;
}

int VolumeTree::addFolder(int parent, QByteArrayView name)
{
    const int id = add(parent);
    setName(id, name);
    setFolder(id);
    return id;
}

int VolumeTree::addFile(int parent, QByteArrayView name, qint64 size, int32_t packedDate)
{
    const int id = add(parent);
    setName(id, name);
    setFile(id, size, packedDate);
    return id;
}

int VolumeTree::folderAt(QByteArrayView path)
{
    if (path.isEmpty())
        return kRoot;
    // Most entries sit in a folder met just before.
    const auto found = m_folders.constFind(path.toByteArray());
    if (found != m_folders.constEnd())
        return found.value();
    int folder = kRoot;
    qsizetype from = 0;
    for (;;) {
        const qsizetype slash = path.indexOf('/', from);
        const qsizetype end = slash < 0 ? path.size() : slash;
        const QByteArray key = path.first(end).toByteArray();
        const auto it = m_folders.constFind(key);
        if (it != m_folders.constEnd()) {
            folder = it.value();
        } else {
            folder = addFolder(folder, path.sliced(from, end - from));
            m_folders.insert(key, folder);
        }
        if (slash < 0)
            return folder;
        from = slash + 1;
    }
}

namespace {

QString entryPath(QByteArrayView folder, QByteArrayView name)
{
    return QString::fromUtf8(folder) + QString::fromUtf8(name);
}

} // namespace

bool VolumeTree::build(catimport::Volume &v, bool countOnly) const
{
    using namespace catimport;
    filerecord::SectionBuilder section;
    if (!countOnly)
        section.reserve(qsizetype(m_nodes.size()) * 40 + m_names.size());
    qint64 folders = 0;
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 controlNames = 0;

    // Depth first without recursion: each frame is a folder whose subfolders are still to walk.
    struct Frame
    {
        int32_t nextChild;
        qsizetype pathLength;
    };
    std::vector<Frame> stack;
    QByteArray path; // names each followed by "/"
    auto refuse = [&](const char *what, QByteArrayView name) {
        v.refusal = QStringLiteral("%1 at \"%2\"").arg(QString::fromLatin1(what), entryPath(path, name));
        v.records.clear();
        return false;
    };

    int folder = kRoot;
    for (;;) {
        // The folder's own files, in the order listed.
        const QByteArray line = filerecord::folderLine(path);
        for (int32_t c = m_nodes[size_t(folder)].firstChild; c >= 0; c = m_nodes[size_t(c)].next) {
            const Node &n = m_nodes[size_t(c)];
            if (n.kind == Skipped || n.kind == Folder)
                continue;
            const QByteArrayView name = nameOf(n);
            if (n.kind == Unknown)
                return refuse("an entry that is neither file nor folder", name);
            if (const char *problem = nameProblem(name))
                return refuse(problem, name);
            if (filerecord::hasUnrecordableInside(name))
                ++controlNames;
            ++files;
            bytes += n.size;
            if (!countOnly)
                section.append(line, name, n.size, n.packedDate);
        }
        stack.push_back({m_nodes[size_t(folder)].firstChild, path.size()});

        // The next subfolder, depth first.
        folder = -1;
        while (!stack.empty() && folder < 0) {
            Frame &top = stack.back();
            path.truncate(top.pathLength);
            while (top.nextChild >= 0 && m_nodes[size_t(top.nextChild)].kind != Folder)
                top.nextChild = m_nodes[size_t(top.nextChild)].next;
            if (top.nextChild < 0) {
                stack.pop_back();
                continue;
            }
            folder = top.nextChild;
            top.nextChild = m_nodes[size_t(folder)].next;
        }
        if (folder < 0)
            break;
        const QByteArrayView name = nameOf(m_nodes[size_t(folder)]);
        if (const char *problem = nameProblem(name))
            return refuse(problem, name);
        if (filerecord::hasUnrecordableInside(name))
            ++controlNames;
        if (path.size() + name.size() + 1 > kMaxPath)
            return refuse("a folder path longer than 32,768 bytes", name);
        path.append(name.data(), name.size()).append('/');
        ++folders;
    }

    v.files = files;
    v.folders = folders;
    v.bytes = bytes;
    if (!countOnly) {
        section.squeeze();
        v.records = section.take();
    }
    if (controlNames > 0)
        v.warnings
            << QStringLiteral(
                   "%1 names with control characters or \"\\\" are recorded with \"?\" in their place.")
                   .arg(controlNames);
    return true;
}
