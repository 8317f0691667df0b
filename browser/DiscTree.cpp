#include "DiscTree.h"

#include "ArchiveEntry.h"
#include "catalog/ArchiveText.h"
#include "search/ResultsModel.h"
#include "search/SearchEngine.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <numeric>

namespace browser {

namespace {

// A folder line's names without empty ones, joined by "\": "\" and "" are the root (empty),
// "Music\\Rock\" is "Music\Rock".
QByteArray normalisedLine(QByteArrayView line)
{
    QByteArray out;
    out.reserve(line.size());
    qsizetype i = 0;
    while (i < line.size()) {
        const qsizetype sep = line.indexOf('\\', i);
        const qsizetype end = sep < 0 ? line.size() : sep;
        if (end > i) {
            if (!out.isEmpty())
                out.append('\\');
            out.append(line.data() + i, end - i);
        }
        i = end + 1;
    }
    return out;
}

// Packed dates order as unsigned numbers.
bool newer(int32_t a, int32_t b)
{
    return uint32_t(a) > uint32_t(b);
}

void noteDate(DiscTree::Folder &f, int32_t date)
{
    if (!f.newestValid || newer(date, f.newest)) {
        f.newest = date;
        f.newestValid = true;
    }
}

QStringList pathParts(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// The index in [0, n) whose text is the part: as recorded first, then without regard to case.
template <typename TextAt> int matchPart(uint32_t n, const QString &part, TextAt textAt)
{
    int folded = -1;
    for (uint32_t i = 0; i < n; ++i) {
        const QString text = textAt(i);
        if (text == part)
            return int(i);
        if (folded < 0 && text.compare(part, Qt::CaseInsensitive) == 0)
            folded = int(i);
    }
    return folded;
}

} // namespace

// ---- The builder --------------------------------------------------------------------------

struct DiscTree::Builder::Impl
{
    QByteArray arena;
    std::vector<Folder> folders;
    std::vector<File> files;
    std::vector<uint32_t> folderOf; // the folder of each file, while files are in record order
    QHash<QByteArray, uint32_t> byLine;
    QByteArray lastLine;
    uint32_t lastFolder = NoFolder;
    bool grouped = true; // every folder's records came one after another

    uint32_t append(QByteArrayView bytes)
    {
        const uint32_t at = uint32_t(arena.size());
        arena.append(bytes.data(), bytes.size());
        return at;
    }

    uint32_t makeFolder(const QByteArray &normalised)
    {
        const qsizetype sep = normalised.lastIndexOf('\\');
        uint32_t parent = Root;
        if (sep > 0) {
            const QByteArray up = normalised.first(sep);
            const auto it = byLine.constFind(up);
            parent = it != byLine.cend() ? *it : makeFolder(up);
        }
        Folder f;
        f.parent = parent;
        f.line = append(normalised);
        f.lineLength = uint32_t(normalised.size());
        f.name = f.line + uint32_t(sep + 1);
        f.nameLength = uint32_t(normalised.size() - (sep + 1));
        const uint32_t index = uint32_t(folders.size());
        folders.push_back(f);
        byLine.insert(normalised, index);
        return index;
    }

    uint32_t folderFor(QByteArrayView line)
    {
        const auto found = byLine.constFind(QByteArray::fromRawData(line.data(), line.size()));
        if (found != byLine.cend())
            return *found;
        const QByteArray normalised = normalisedLine(line);
        uint32_t index = Root;
        if (!normalised.isEmpty()) {
            const auto it = byLine.constFind(normalised);
            index = it != byLine.cend() ? *it : makeFolder(normalised);
        }
        // Retrieval looks for the folder under the bytes its records hold.
        if (folders[index].fileCount == 0 && line != QByteArrayView(normalised) && index != Root) {
            folders[index].line = append(line);
            folders[index].lineLength = uint32_t(line.size());
        }
        byLine.insert(line.toByteArray(), index);
        return index;
    }
};

DiscTree::Builder::Builder() : d(std::make_unique<Impl>())
{
    Folder root;
    root.line = d->append("\\");
    root.lineLength = 1;
    d->folders.push_back(root);
    d->byLine.insert(QByteArray("\\"), Root);
    d->byLine.insert(QByteArray(), Root);
}

DiscTree::Builder::~Builder() = default;

void DiscTree::Builder::add(QByteArrayView folderLine, QByteArrayView name, qint64 size, bool sizeValid,
                            int32_t date, bool dateValid)
{
    uint32_t f = d->lastFolder;
    if (f == NoFolder || folderLine != QByteArrayView(d->lastLine)) {
        f = d->folderFor(folderLine);
        if (f != d->lastFolder && d->folders[f].fileCount > 0)
            d->grouped = false;
        d->lastLine = folderLine.toByteArray();
        d->lastFolder = f;
    }
    File file;
    file.size = sizeValid ? size : 0;
    file.name = d->append(name);
    file.nameLength = uint32_t(name.size());
    file.date = dateValid ? date : 0;
    file.flags = uint8_t((sizeValid ? SizeValid : 0) | (dateValid ? DateValid : 0));
    Folder &folder = d->folders[f];
    if (folder.fileCount == 0)
        folder.firstFile = uint32_t(d->files.size());
    ++folder.fileCount;
    ++folder.filesBelow;
    if (sizeValid)
        folder.bytes += size;
    if (dateValid)
        noteDate(folder, date);
    d->files.push_back(file);
    d->folderOf.push_back(f);
}

DiscTree DiscTree::Builder::finish(const QString &archivePath, const QString &mark, const QString &damage)
{
    DiscTree tree;
    tree.m_archivePath = archivePath;
    tree.m_mark = mark;
    tree.m_damage = damage;
    std::vector<Folder> &folders = d->folders;
    const uint32_t n = uint32_t(folders.size());

    // Files by folder: a stable counting sort, needed only when a folder's records were apart.
    if (!d->grouped) {
        uint32_t at = 0;
        for (Folder &f : folders) {
            f.firstFile = at;
            at += f.fileCount;
        }
        std::vector<uint32_t> next(n);
        for (uint32_t i = 0; i < n; ++i)
            next[i] = folders[i].firstFile;
        std::vector<File> sorted(d->files.size());
        for (size_t i = 0; i < d->files.size(); ++i)
            sorted[next[d->folderOf[i]]++] = d->files[i];
        d->files.swap(sorted);
    }
    std::vector<uint32_t>().swap(d->folderOf);

    // Totals from the deepest folders up: a parent always comes before its subfolders.
    for (uint32_t i = n; i-- > 1;) {
        Folder &f = folders[i];
        Folder &p = folders[f.parent];
        p.bytes += f.bytes;
        p.filesBelow += f.filesBelow;
        p.foldersBelow += f.foldersBelow + 1;
        if (f.newestValid)
            noteDate(p, f.newest);
    }

    // Subfolders in the order of their names, as the user's locale orders them.
    tree.m_arena = std::move(d->arena);
    std::vector<QString> names(n);
    for (uint32_t i = 1; i < n; ++i)
        names[i] = decodeArchiveText(
            QByteArrayView(tree.m_arena.constData() + folders[i].name, folders[i].nameLength));
    const std::vector<uint32_t> rank = search::rankTexts(names);
    for (uint32_t i = 1; i < n; ++i)
        ++folders[folders[i].parent].childCount;
    uint32_t at = 0;
    for (Folder &f : folders) {
        f.firstChild = at;
        at += f.childCount;
        f.childCount = 0;
    }
    std::vector<uint32_t> children(n > 0 ? n - 1 : 0);
    for (uint32_t i = 1; i < n; ++i) {
        Folder &p = folders[folders[i].parent];
        children[p.firstChild + p.childCount++] = i;
    }
    for (const Folder &f : folders) {
        const auto begin = children.begin() + f.firstChild;
        std::stable_sort(begin, begin + f.childCount,
                         [&](uint32_t a, uint32_t b) { return rank[a] < rank[b]; });
        for (uint32_t r = 0; r < f.childCount; ++r)
            folders[children[f.firstChild + r]].row = r;
    }

    tree.m_arena.squeeze();
    d->files.shrink_to_fit();
    folders.shrink_to_fit();
    tree.m_folders = std::move(folders);
    tree.m_children = std::move(children);
    tree.m_files = std::move(d->files);
    return tree;
}

// ---- Reading an archive -------------------------------------------------------------------

namespace {

class TreeSink : public search::ResultSink
{
public:
    explicit TreeSink(DiscTree::Builder &builder) : m_builder(builder) {}
    void beginArchive(int, const search::ArchiveInfo &) override {}
    void addRow(const search::FoundRecord &r) override
    {
        m_builder.add(r.folder, r.name, r.size, r.sizeValid, r.date, r.dateValid);
    }

private:
    DiscTree::Builder &m_builder;
};

} // namespace

DiscTree DiscTree::read(const QString &archivePath)
{
    Builder builder;
    TreeSink sink(builder);
    const search::SearchCriteria everything;
    search::SearchEngine engine(everything, sink);
    engine.AddFile(archivePath);
    const search::SearchProblems &problems = engine.problems();
    if (!problems.unreadable.isEmpty())
        throw AmbryError(QStringLiteral("Cannot read the archive '%1': %2")
                             .arg(archivePath, problems.unreadable.constFirst().reason));
    const std::optional<ArchiveEntry> entry = readArchiveEntry(archivePath);
    if (!entry)
        throw AmbryError(QStringLiteral("The archive '%1' is gone.").arg(archivePath));
    return builder.finish(archivePath, entry->mark, problems.damagedReasons.value(0));
}

// ---- Reading the tree ---------------------------------------------------------------------

QByteArrayView DiscTree::folderName(uint32_t f) const
{
    return QByteArrayView(m_arena.constData() + m_folders[f].name, m_folders[f].nameLength);
}

QByteArrayView DiscTree::folderLine(uint32_t f) const
{
    return QByteArrayView(m_arena.constData() + m_folders[f].line, m_folders[f].lineLength);
}

QByteArrayView DiscTree::fileName(const File &file) const
{
    return QByteArrayView(m_arena.constData() + file.name, file.nameLength);
}

QString DiscTree::folderNameText(uint32_t f) const
{
    return f == Root ? m_mark : decodeArchiveText(folderName(f));
}

QString DiscTree::fileNameText(const File &file) const
{
    return decodeArchiveText(fileName(file));
}

QString DiscTree::fileTypeText(const File &file) const
{
    const QByteArrayView name = fileName(file);
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : decodeArchiveText(name.sliced(dot + 1));
}

QString DiscTree::folderPathText(uint32_t f) const
{
    if (f == Root)
        return QStringLiteral("\\");
    QString path;
    for (uint32_t at = f; at != Root && at != NoFolder; at = m_folders[at].parent)
        path.prepend(QLatin1Char('\\') + decodeArchiveText(folderName(at)));
    return path;
}

DiscTree::Place DiscTree::find(const QString &path) const
{
    const QStringList parts = pathParts(path);
    Place place{Root, -1};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const Folder &f = m_folders[place.folder];
        const int sub = matchPart(f.childCount, parts.at(i),
                                  [&](uint32_t k) { return folderNameText(child(place.folder, k)); });
        if (sub >= 0) {
            place.folder = child(place.folder, uint32_t(sub));
            continue;
        }
        if (i + 1 < parts.size())
            return Place{};
        const int at = matchPart(f.fileCount, parts.at(i),
                                 [&](uint32_t k) { return fileNameText(file(place.folder, k)); });
        if (at < 0)
            return Place{};
        place.file = at;
    }
    return place;
}

DiscTree::Place DiscTree::findRecorded(QByteArrayView folderLine, QByteArrayView name) const
{
    Place place{Root, -1};
    const QByteArray normalised = normalisedLine(folderLine);
    for (const QByteArray &part : normalised.split('\\')) {
        if (part.isEmpty())
            continue; // the root
        const Folder &f = m_folders[place.folder];
        uint32_t k = 0;
        while (k < f.childCount && folderName(child(place.folder, k)) != part)
            ++k;
        if (k == f.childCount)
            return Place{};
        place.folder = child(place.folder, k);
    }
    const Folder &f = m_folders[place.folder];
    for (uint32_t k = 0; k < f.fileCount && !name.isEmpty(); ++k) {
        if (fileName(file(place.folder, k)) == name) {
            place.file = int(k);
            break;
        }
    }
    return place;
}

qint64 DiscTree::memoryUsed() const
{
    return qint64(m_arena.capacity()) + qint64(m_folders.capacity() * sizeof(Folder)) +
           qint64(m_children.capacity() * sizeof(uint32_t)) + qint64(m_files.capacity() * sizeof(File));
}

QString folderStatusLine(const DiscTree &tree, uint32_t folder)
{
    const DiscTree::Folder &f = tree.folder(folder);
    return QStringLiteral("Folders: %1; Files: %2; Below: %3 folders, %4 files; Total size: %5 (%6)")
        .arg(FormatGroupedNumber(f.childCount), FormatGroupedNumber(f.fileCount),
             FormatGroupedNumber(f.foldersBelow), FormatGroupedNumber(f.filesBelow), FormatFileSize(f.bytes),
             FormatGroupedNumber(f.bytes));
}

} // namespace browser
