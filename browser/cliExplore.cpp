#include "cliBrowser.h"

#include "BrowserExport.h"
#include "DiscTree.h"
#include "DiscTreeModels.h"

#include "catalog/Catalog.h"
#include "catalog/DosDateTime.h"
#include "catalog/ProgramCatalog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

using namespace browser;

namespace {

constexpr int ExitDamaged = 3;
constexpr int ExitNotFound = 8;

// The archive of a mark read as folders, and the place a path names on it; otherwise the exit
// code, after saying why.
struct Opened
{
    std::unique_ptr<DiscTree> tree;
    DiscTree::Place place;
};
int openDisc(const CliContext &ctx, Opened *opened)
{
    const QString mark = ctx.args.at(0).trimmed();
    if (mark.isEmpty())
        return ctx.usageError(QStringLiteral("the mark is blank"));
    QString path;
    if (const int code = findArchiveByMark(ctx, catalog::commandLineCatalog(ctx.catalogFolder), mark, &path))
        return code;
    opened->tree = std::make_unique<DiscTree>(DiscTree::read(path));
    const QString where = ctx.args.value(1);
    opened->place = opened->tree->find(where);
    if (opened->place.folder == DiscTree::NoFolder) {
        ctx.err(QStringLiteral("ambrylog-cli %1: the disc marked '%2' has no folder or file '%3'")
                    .arg(ctx.command->name, mark, where));
        return ExitNotFound;
    }
    return CliOk;
}

int damagedExit(const CliContext &ctx, const DiscTree &tree)
{
    if (tree.damage().isEmpty())
        return CliOk;
    ctx.err(
        QStringLiteral("ambrylog-cli %1: the archive %2 is damaged (it %3); only its whole records were read")
            .arg(ctx.command->name, tree.archivePath(), tree.damage()));
    return ExitDamaged;
}

// A cell of a tab-separated line: a tab, a line break or a backslash inside it is escaped, so
// every line stays one row of four cells.
QString tsvCell(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += ch;
        }
    }
    return out;
}

void printListed(const CliContext &ctx, const ListedEntry &e, bool json)
{
    if (json) {
        QJsonObject o{
            {QStringLiteral("path"), e.path},
            {QStringLiteral("kind"), e.folder ? QStringLiteral("folder") : QStringLiteral("file")},
            {QStringLiteral("size"), e.sizeKnown ? QJsonValue(e.size) : QJsonValue()},
            {QStringLiteral("date"), e.dateKnown ? QJsonValue(dosdate::isoText(e.date)) : QJsonValue()},
            {QStringLiteral("type"), e.type},
        };
        if (e.folder) {
            o.insert(QStringLiteral("files"), e.files);
            o.insert(QStringLiteral("folders"), e.folders);
        }
        ctx.out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        return;
    }
    ctx.out(tsvCell(e.path) + QLatin1Char('\t') + (e.sizeKnown ? QString::number(e.size) : QString()) +
            QLatin1Char('\t') + (e.dateKnown ? dosdate::isoText(e.date) : QString()) + QLatin1Char('\t') +
            tsvCell(e.type));
}

int runLs(CliContext &ctx)
{
    Opened opened;
    if (const int code = openDisc(ctx, &opened))
        return code;
    const DiscTree &tree = *opened.tree;
    const QString format = ctx.value(QStringLiteral("format"));
    const bool json = format == QLatin1String("json");
    const bool recursive = ctx.isSet(QStringLiteral("recursive"));
    const uint32_t folder = opened.place.folder;
    const auto rows = [&](const std::function<void(const ListedEntry &)> &each) {
        if (opened.place.file >= 0)
            each(listedFile(tree, folder, opened.place.file));
        else
            walkEntries(tree, folder, recursive, FolderListModel::ColName, Qt::AscendingOrder,
                        [&each](const ListedEntry &e) {
                            each(e);
                            return true;
                        });
    };
    if (const std::optional<ExportFormat> table = exportFormatNamed(format)) {
        TableExport out(*table, entryExportColumns(recursive),
                        {QStringLiteral("Ambrylog disc ") + tree.mark(),
                         folderExportSubject(tree, folder, recursive), QDateTime::currentDateTime()},
                        [&ctx](QByteArrayView bytes) {
                            std::fwrite(bytes.data(), 1, size_t(bytes.size()), ctx.outFile);
                        });
        rows([&out](const ListedEntry &e) { exportEntry(out, e); });
        out.finish();
    } else {
        rows([&](const ListedEntry &e) { printListed(ctx, e, json); });
    }
    return damagedExit(ctx, tree);
}

// ---- tree ---------------------------------------------------------------------------------

struct TreePrinter
{
    const CliContext &ctx;
    const DiscTree &tree;
    int depth;
    qint64 folders = 0, files = 0;

    void folder(uint32_t f, const QString &indent, int level)
    {
        if (level > depth)
            return;
        FolderListModel entries;
        entries.setTree(&tree);
        entries.setFolder(f);
        const int n = entries.rowCount();
        for (int r = 0; r < n; ++r) {
            const bool last = r + 1 == n;
            const QString branch = indent + (last ? QStringLiteral("\u2514\u2500\u2500 ")
                                                  : QStringLiteral("\u251c\u2500\u2500 "));
            const FolderListModel::Entry e = entries.entry(r);
            if (e.kind == EntryKind::Folder) {
                ++folders;
                ctx.out(branch + QLatin1Char('[') + humanSize(tree.folder(e.folder).bytes, true) +
                        QStringLiteral("]  ") + tree.folderNameText(e.folder));
                folder(e.folder,
                       indent + (last ? QStringLiteral("    ") : QStringLiteral("\u2502\u00a0\u00a0 ")),
                       level + 1);
            } else {
                ++files;
                const DiscTree::File &file = tree.file(f, uint32_t(e.file));
                ctx.out(branch + QLatin1Char('[') + humanSize(file.size, file.flags & DiscTree::SizeValid) +
                        QStringLiteral("]  ") + tree.fileNameText(file));
            }
        }
    }
};

int runTree(CliContext &ctx)
{
    int depth = std::numeric_limits<int>::max();
    if (ctx.isSet(QStringLiteral("depth"))) {
        bool ok = false;
        depth = ctx.value(QStringLiteral("depth")).trimmed().toInt(&ok);
        if (!ok || depth < 1)
            return ctx.usageError(QStringLiteral("--depth takes a whole number of levels from 1"));
    }
    Opened opened;
    if (const int code = openDisc(ctx, &opened))
        return code;
    const DiscTree &tree = *opened.tree;
    if (opened.place.file >= 0) {
        ctx.err(QStringLiteral("ambrylog-cli tree: '%1' is a file, not a folder").arg(ctx.args.at(1)));
        return ExitNotFound;
    }
    const uint32_t top = opened.place.folder;
    const QString caption = ctx.args.size() > 1 ? ctx.args.at(1) : tree.mark();
    ctx.out(QLatin1Char('[') + humanSize(tree.folder(top).bytes, true) + QStringLiteral("]  ") + caption);
    TreePrinter printer{ctx, tree, depth};
    printer.folder(top, QString(), 1);
    ctx.out(QString());
    ctx.out(QLatin1Char(' ') + humanSize(tree.folder(top).bytes, true) +
            QStringLiteral(" used in %1 %2, %3 %4")
                .arg(printer.folders)
                .arg(printer.folders == 1 ? QStringLiteral("directory") : QStringLiteral("directories"))
                .arg(printer.files)
                .arg(printer.files == 1 ? QStringLiteral("file") : QStringLiteral("files")));
    return damagedExit(ctx, tree);
}

} // namespace

QString humanSize(qint64 bytes, bool known)
{
    if (!known)
        return QStringLiteral("   ?");
    if (bytes < 1024)
        return QString::asprintf("%4lld", static_cast<long long>(bytes));
    static const char units[] = "BKMGTPE";
    int unit = 0;
    for (qint64 whole = bytes; whole >= 1024 && unit < 6; whole /= 1024)
        ++unit;
    double value = double(bytes);
    for (int i = 0; i < unit; ++i)
        value /= 1024.0;
    return value < 10 ? QString::asprintf("%3.1f%c", value, units[unit])
                      : QString::asprintf("%3.0f%c", value, units[unit]);
}

const CliCommand &lsCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("ls"),
        .summary = QStringLiteral("a folder of a catalogued disc, as the Explore window lists it"),
        .synopsis = {QStringLiteral("MARK [PATH] [--recursive] [--format tsv|json|csv|html]")},
        .description = QStringLiteral(
            "The entries of the folder PATH (\"/\" or \"\\\" between names, the disc's root when left out)\n"
            "of the disc marked MARK: its folders first, then its files, each by name. tsv prints the\n"
            "path below PATH (a folder's ends in \"/\"), the size in bytes (a folder's is the total of\n"
            "everything below it), the date modified as YYYY-MM-DDThh:mm:ss (a folder's is the newest\n"
            "below it) and the type, tab-separated; a tab, line break or backslash in a cell is written\n"
            "as \\t, \\n or \\\\. json prints one object per line with the same values and, for a folder,\n"
            "its files and folders below. csv writes the same values under a header row (RFC 4180: a\n"
            "cell holding a comma, a quote or a line break is quoted); html one page with the sizes and\n"
            "dates as the Explore window shows them. --recursive lists every folder below as well, each\n"
            "right after its own line. A PATH that names a file lists that file."),
        .options = {{{QStringLiteral("recursive"), QStringLiteral("R")},
                     QString(),
                     QStringLiteral("every folder below as well")},
                    {{QStringLiteral("format")},
                     QStringLiteral("FORMAT"),
                     QStringLiteral("tsv (default), json, csv or html"),
                     {QStringLiteral("tsv"), QStringLiteral("json"), QStringLiteral("csv"),
                      QStringLiteral("html")}}},
        .minArgs = 1,
        .maxArgs = 2,
        .exitCodes = {{0, QStringLiteral("the folder was listed")},
                      {1, QStringLiteral("the archive cannot be read, or several archives have the mark")},
                      {3, QStringLiteral(
                              "listed, but the archive is damaged: only its whole records were read")},
                      {8, QStringLiteral("no archive has the mark, or its disc has no such folder or file")}},
        .arguments = {{QStringLiteral("MARK")}, {QStringLiteral("PATH")}},
        .run = runLs,
    };
    return command;
}

const CliCommand &treeCommand()
{
    static const CliCommand command{
        .name = QStringLiteral("tree"),
        .summary = QStringLiteral("the folders and files of a catalogued disc with their sizes"),
        .synopsis = {QStringLiteral("MARK [PATH] [--depth N]")},
        .description = QStringLiteral(
            "The folder PATH (the disc's root when left out) of the disc marked MARK and everything below\n"
            "it, drawn as `tree --du -h` draws a folder: each entry with its size in bytes, K, M, G, ...\n"
            "(a folder's the total of everything below it), folders first, then files, each by name; a\n"
            "last line with the total and the folders and files shown. --depth N shows N levels below\n"
            "PATH (the sizes stay totals of everything below)."),
        .options = {{{QStringLiteral("depth"), QStringLiteral("L")},
                     QStringLiteral("N"),
                     QStringLiteral("show N levels (from 1)")}},
        .minArgs = 1,
        .maxArgs = 2,
        .exitCodes = {{0, QStringLiteral("the tree was printed")},
                      {1, QStringLiteral("the archive cannot be read, or several archives have the mark")},
                      {3, QStringLiteral(
                              "printed, but the archive is damaged: only its whole records were read")},
                      {8, QStringLiteral("no archive has the mark, or its disc has no such folder")}},
        .arguments = {{QStringLiteral("MARK")}, {QStringLiteral("PATH")}},
        .run = runTree,
    };
    return command;
}
