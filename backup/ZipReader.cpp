#include "ZipReader.h"

#include "catalog/Catalog.h"
#include "util/AmbryError.h"
#include "util/NativePath.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>
#include <zip.h>

namespace backup {

namespace {

constexpr qsizetype kBlock = 64 * 1024;

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

[[noreturn]] void refuse(const QString &label, const QString &reason)
{
    throw AmbryError(QStringLiteral("The zip file \"%1\" was refused: %2.").arg(label, reason));
}

[[noreturn]] void failOpen(const QString &label, int code)
{
    switch (code) {
    case ZIP_ER_NOZIP:
        refuse(label, QStringLiteral("it is not a zip file"));
    case ZIP_ER_EXISTS: // the library's own check for names that appear twice
        refuse(label, QStringLiteral("an entry name appears twice"));
    case ZIP_ER_INCONS:
    case ZIP_ER_EOF:
        refuse(label, QStringLiteral("it is damaged or truncated"));
    default:
        throw AmbryError(QStringLiteral("Cannot open \"%1\". %2").arg(label, zipErrorText(code)));
    }
}

QString entryText(const QString &name)
{
    return QStringLiteral("the entry \"%1\"").arg(name);
}

// The file type from the entry's attributes, when the zip records one: Unix modes, or the
// folder bit of the DOS attributes.
enum class Kind { File, Folder, Link, Other };

Kind entryKind(zip_t *z, zip_uint64_t index, bool nameIsFolder)
{
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(z, index, 0, &opsys, &attributes) == 0) {
        if (opsys == ZIP_OPSYS_UNIX) {
            switch ((attributes >> 16) & S_IFMT) {
            case 0: // no type recorded: the name decides
                break;
            case S_IFREG:
                return nameIsFolder ? Kind::Other : Kind::File;
            case S_IFDIR:
                return Kind::Folder;
            case S_IFLNK:
                return Kind::Link;
            default:
                return Kind::Other;
            }
        } else if (opsys == ZIP_OPSYS_DOS && (attributes & 0x10)) {
            return Kind::Folder;
        }
    }
    return nameIsFolder ? Kind::Folder : Kind::File;
}

} // namespace

QString entryNameProblem(QByteArrayView name)
{
    if (name.isEmpty())
        return QStringLiteral("has no name");
    if (name.startsWith('/'))
        return QStringLiteral("has an absolute path");
    for (const char c : name) {
        if (c == '\\')
            return QStringLiteral("holds a backslash");
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return QStringLiteral("holds a control character");
    }
    if (!QUtf8StringView(name).isValidUtf8())
        return QStringLiteral("is not valid text");
    QByteArrayView rest = name.endsWith('/') ? name.chopped(1) : name;
    while (true) {
        const qsizetype slash = rest.indexOf('/');
        const QByteArrayView part = slash < 0 ? rest : rest.first(slash);
        if (part == "..")
            return QStringLiteral("leads out of the folder (\"..\")");
        // "a//b" and "a/./b" would be a second spelling of "a/b"
        if (part.isEmpty() || part == ".")
            return QStringLiteral("is not a plain relative path");
        if (slash < 0)
            return QString();
        rest = rest.sliced(slash + 1);
    }
}

ZipReader::ZipReader(zip_t *archive, QString label, qint64 size)
    : m_zip(archive), m_label(std::move(label)), m_size(size)
{}

ZipReader::~ZipReader()
{
    zip_discard(m_zip);
}

std::unique_ptr<ZipReader> ZipReader::open(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw AmbryError(QStringLiteral("The file \"%1\" does not exist.").arg(path));
    if (!info.isFile())
        refuse(path, QStringLiteral("it is not a file"));
    int code = 0;
    zip_t *z = zip_open(nativePath(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!z)
        failOpen(path, code);
    return std::unique_ptr<ZipReader>(new ZipReader(z, path, info.size()));
}

std::unique_ptr<ZipReader> ZipReader::fromBytes(QByteArrayView bytes, const QString &label)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.data(), zip_uint64_t(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        throw AmbryError(QStringLiteral("Out of memory."));
    }
    zip_t *z = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z) {
        zip_source_free(source);
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        failOpen(label, code);
    }
    zip_error_fini(&error);
    return std::unique_ptr<ZipReader>(new ZipReader(z, label, bytes.size()));
}

QString ZipReader::comment() const
{
    int length = 0;
    const char *text = zip_get_archive_comment(m_zip, &length, ZIP_FL_ENC_GUESS);
    return text ? QString::fromUtf8(text, length) : QString();
}

ZipPlan ZipReader::plan(const ZipLimits &limits) const
{
    ZipPlan plan;
    plan.budget = limits.total;
    if (m_size <= plan.budget / limits.ratio)
        plan.budget = m_size * limits.ratio;

    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    QSet<QString> names;
    for (zip_int64_t i = 0; i < count; ++i) {
        const zip_uint64_t index = zip_uint64_t(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_zip, index, ZIP_FL_ENC_GUESS, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
            !(st.valid & ZIP_STAT_SIZE))
            refuse(m_label, QStringLiteral("entry %1 cannot be read").arg(i + 1));
        const QByteArrayView raw(st.name);
        const QString name = QString::fromUtf8(raw);
        if (const QString problem = entryNameProblem(raw); !problem.isEmpty())
            refuse(m_label, entryText(name) + QLatin1Char(' ') + problem);
        if (names.contains(name))
            refuse(m_label, entryText(name) + QStringLiteral(" appears twice"));
        names.insert(name);

        const Kind kind = entryKind(m_zip, index, raw.endsWith('/'));
        if (kind == Kind::Link)
            refuse(m_label, entryText(name) + QStringLiteral(" is a symbolic link"));
        if (kind == Kind::Other)
            refuse(m_label, entryText(name) + QStringLiteral(" is not a regular file"));
        if (kind == Kind::Folder) {
            // Folders are made as their files need them; one that claims data is no folder.
            if (st.size != 0 || !raw.endsWith('/'))
                refuse(m_label, entryText(name) + QStringLiteral(" is not a regular file"));
            continue;
        }
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            refuse(m_label, entryText(name) + QStringLiteral(" is encrypted"));
        if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0))
            refuse(m_label, entryText(name) + QStringLiteral(" uses an unsupported compression method"));
        if (st.size > zip_uint64_t(limits.perArchive))
            refuse(m_label,
                   entryText(name) + QStringLiteral(" is larger than %1 bytes").arg(limits.perArchive));
        plan.declaredTotal += qint64(st.size);
        if (plan.declaredTotal > plan.budget)
            refuse(m_label,
                   QStringLiteral("its entries would unpack to more than %1 bytes").arg(plan.budget));

        if (!catalog::Catalog::isArchiveName(name.section(QLatin1Char('/'), -1))) {
            plan.refused.append(name);
            continue;
        }
        ZipEntry entry;
        entry.index = index;
        entry.name = name;
        entry.size = qint64(st.size);
        if (st.valid & ZIP_STAT_MTIME)
            entry.mtime = qint64(st.mtime);
        plan.archives.append(entry);
    }
    return plan;
}

bool ZipReader::read(const ZipEntry &entry, const ZipPlan &plan, qint64 *unpacked, const Sink &sink) const
{
    zip_file_t *file = zip_fopen_index(m_zip, entry.index, 0);
    if (!file)
        refuse(m_label, entryText(entry.name) + QStringLiteral(" cannot be read: ") +
                            QString::fromLocal8Bit(zip_strerror(m_zip)));
    struct Closer
    {
        zip_file_t *f;
        ~Closer() { zip_fclose(f); }
    } closer{file};

    QByteArray block(kBlock, Qt::Uninitialized);
    qint64 got = 0;
    while (true) {
        const zip_int64_t n = zip_fread(file, block.data(), zip_uint64_t(block.size()));
        if (n < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(file));
            if (code == ZIP_ER_CRC)
                refuse(m_label, entryText(entry.name) + QStringLiteral(" does not match its CRC"));
            refuse(m_label, entryText(entry.name) + QStringLiteral(" cannot be read: ") +
                                QString::fromLocal8Bit(zip_file_strerror(file)));
        }
        if (n == 0)
            break;
        got += n;
        *unpacked += n;
        // The library does not hold an entry to its declared size; a bomb stops here.
        if (got > entry.size)
            refuse(m_label, entryText(entry.name) + QStringLiteral(" holds more data than it declares"));
        if (*unpacked > plan.budget)
            refuse(m_label, QStringLiteral("its entries unpack to more than %1 bytes").arg(plan.budget));
        if (!sink(block.constData(), qsizetype(n)))
            return false;
    }
    if (got != entry.size)
        refuse(m_label, entryText(entry.name) + QStringLiteral(" holds less data than it declares"));
    return true;
}

int checkZipBytes(const uint8_t *data, size_t size)
{
    try {
        const auto reader = ZipReader::fromBytes(
            QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), QStringLiteral("input"));
        ZipLimits limits;
        limits.perArchive = 1 << 20; // keep each run small
        limits.total = 4 << 20;
        const ZipPlan plan = reader->plan(limits);
        int broken = 0;
        const auto promise = [&broken](bool kept) { broken += kept ? 0 : 1; };
        promise(plan.declaredTotal <= plan.budget);
        qint64 unpacked = 0;
        for (const ZipEntry &entry : plan.archives) {
            promise(entryNameProblem(entry.name.toUtf8()).isEmpty());
            promise(entry.size >= 0 && entry.size <= limits.perArchive);
            qint64 handed = 0;
            reader->read(entry, plan, &unpacked, [&handed](const char *, qsizetype n) {
                handed += n;
                return true;
            });
            promise(handed == entry.size);
        }
        promise(unpacked <= plan.budget);
        reader->comment();
        return broken;
    } catch (const AmbryError &) {
        // Refused with a message: what a reader must do with bytes it cannot vouch for.
    }
    return 0;
}

} // namespace backup
