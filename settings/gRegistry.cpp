#include "gRegistry.h"

#include "Autostart.h"
#include "util/AmbryError.h"
#include "util/FileLock.h"
#include "util/PosixFile.h"
#include "util/gUtils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <vector>

Q_LOGGING_CATEGORY(lcSettings, "ambrylog.settings")

namespace {

const QString kRoot = QStringLiteral("HKEY_CURRENT_USER");
const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

// How long a writer waits for another copy to finish its write.
constexpr int kLockWaitMs = 10000;

enum class Kind { Text, Other, Deleted };

// One line (or, for a wrapped hex value, several lines) of a key's section, kept verbatim so
// that everything the program does not touch is written back exactly as it was.
struct Entry
{
    QString raw;
    bool isValue = false;
    QString name;
    Kind kind = Kind::Text;
    QString text;
};

struct Section
{
    QString header; // the "[...]" line as found
    QString path;   // what stands between the brackets
    std::vector<Entry> entries;
};

struct RegFile
{
    QStringList preamble; // header, comments and blank lines before the first key
    std::vector<Section> sections;
};

enum class LoadResult { Missing, Ok, Corrupt, Unreadable };

QString g_notice;
bool g_stuckNoticeGiven = false; // a file that cannot even be moved is reported once per run

QString normalisedKey(const QString &key)
{
    return key.startsWith(QLatin1Char('\\')) ? key : QLatin1Char('\\') + key;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// ---- parsing -------------------------------------------------------------------------------

// Reads a quoted string starting at pos (which holds the opening quote); on success pos is
// just past the closing quote. Only \\ and \" are escapes; a backslash before anything else
// stands for itself, as the registry editor reads it.
std::optional<QString> parseQuoted(const QString &line, qsizetype &pos)
{
    QString out;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size() &&
            (line.at(i + 1) == QLatin1Char('\\') || line.at(i + 1) == QLatin1Char('"'))) {
            out += line.at(++i);
        } else if (c == QLatin1Char('"')) {
            pos = i + 1;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

bool restIsBlank(const QString &line, qsizetype pos)
{
    for (; pos < line.size(); ++pos) {
        if (!line.at(pos).isSpace())
            return false;
    }
    return true;
}

// Bytes of "hex(n):aa,bb,..." data, continuation backslashes and line breaks already joined.
std::optional<QByteArray> parseHexBytes(const QString &data)
{
    QByteArray bytes;
    const QStringList parts = data.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.isEmpty() && parts.size() == 1)
            break; // "hex(2):" holds no bytes
        bool ok = false;
        const uint b = p.toUInt(&ok, 16);
        if (!ok || p.size() > 2)
            return std::nullopt;
        bytes.append(char(b));
    }
    return bytes;
}

// Text of a REG_SZ / REG_EXPAND_SZ written in hex form: UTF-16LE, up to the first NUL.
QString textFromUtf16Bytes(const QByteArray &bytes)
{
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t u = char16_t(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8));
        if (u == 0)
            break;
        out += QChar(u);
    }
    return out;
}

// Parses the value line(s) of one entry. lines[index] is the first line; index moves past
// the last line consumed. Returns false when the line is not a value line at all.
bool parseValue(const QStringList &lines, qsizetype &index, Entry &entry)
{
    const QString line = lines.at(index);
    qsizetype pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        entry.name.clear();
        pos = 1;
    } else {
        const auto name = parseQuoted(line, pos);
        if (!name)
            return false;
        entry.name = *name;
    }
    while (pos < line.size() && line.at(pos).isSpace())
        ++pos;
    if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
        return false;
    ++pos;
    while (pos < line.size() && line.at(pos).isSpace())
        ++pos;

    entry.isValue = true;
    entry.raw = line;
    if (pos < line.size() && line.at(pos) == QLatin1Char('"')) {
        const auto text = parseQuoted(line, pos);
        if (!text || !restIsBlank(line, pos))
            return false;
        entry.kind = Kind::Text;
        entry.text = *text;
        ++index;
        return true;
    }
    if (line.mid(pos).trimmed() == QLatin1String("-")) {
        entry.kind = Kind::Deleted;
        ++index;
        return true;
    }

    // A typed value: "dword:...", "hex:...", "hex(2):...", wrapped with a trailing backslash.
    const qsizetype colon = line.indexOf(QLatin1Char(':'), pos);
    if (colon <= pos)
        return false;
    const QString type = line.mid(pos, colon - pos).toLower();
    for (const QChar c : type) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('(') || c == QLatin1Char(')')))
            return false;
    }
    QString data = line.mid(colon + 1);
    ++index;
    while (data.trimmed().endsWith(QLatin1Char('\\'))) {
        data = data.trimmed();
        data.chop(1);
        if (index >= lines.size())
            return false;
        entry.raw += QLatin1Char('\n') + lines.at(index);
        data += lines.at(index);
        ++index;
    }
    entry.kind = Kind::Other;
    if (type == QLatin1String("hex(1)") || type == QLatin1String("hex(2)")) {
        // Text values in hex form (an expandable string is returned unexpanded).
        if (const auto bytes = parseHexBytes(data)) {
            entry.kind = Kind::Text;
            entry.text = textFromUtf16Bytes(*bytes);
        }
    }
    return true;
}

bool parseRegFile(const QString &content, RegFile &out)
{
    QStringList lines = content.split(QLatin1Char('\n'));
    for (QString &l : lines) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line end
    out = RegFile();
    qsizetype i = 0;
    while (i < lines.size()) {
        const QString &line = lines.at(i);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            Section s;
            s.header = line;
            s.path = trimmed.mid(1, trimmed.size() - 2);
            out.sections.push_back(std::move(s));
            ++i;
            continue;
        }
        const bool blankOrComment = trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';'));
        if (out.sections.empty()) {
            const bool header = trimmed.startsWith(QLatin1String("Windows Registry Editor Version")) ||
                                trimmed == QLatin1String("REGEDIT4");
            if (!blankOrComment && !header)
                return false;
            out.preamble << line;
            ++i;
            continue;
        }
        Entry entry;
        if (blankOrComment) {
            entry.raw = line;
            ++i;
        } else if (!parseValue(lines, i, entry)) {
            return false;
        }
        out.sections.back().entries.push_back(std::move(entry));
    }
    return true;
}

// ---- writing -------------------------------------------------------------------------------

QString quoted(const QString &s)
{
    QString out = s;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// Text that a quoted line cannot hold safely (line breaks and other control characters, or
// broken UTF-16) is written in the registry's hex form of a text value, which keeps it exact.
bool needsHexForm(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return !text.isValidUtf16();
}

QString hexTextValue(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    QString out = QStringLiteral("hex(1):");
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += (i % 24 == 0) ? QStringLiteral(",\\\n  ") : QStringLiteral(",");
        out += QStringLiteral("%1").arg(uint(quint8(bytes[i])), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QString valueLine(const QString &name, const QString &text)
{
    const QString lhs = name.isEmpty() ? QStringLiteral("@") : quoted(name);
    return lhs + QLatin1Char('=') + (needsHexForm(text) ? hexTextValue(text) : quoted(text));
}

QString serialise(const RegFile &file)
{
    QString out;
    for (const QString &l : file.preamble)
        out += l + QLatin1Char('\n');
    for (const Section &s : file.sections) {
        out += s.header + QLatin1Char('\n');
        for (const Entry &e : s.entries)
            out += e.raw + QLatin1Char('\n');
    }
    return out;
}

bool matchesKey(const Section &s, const QString &key)
{
    return sameName(s.path, kRoot + normalisedKey(key));
}

// ---- file access ---------------------------------------------------------------------------

// The text of a settings file as the reader takes it: UTF-16LE after its mark, else UTF-8;
// nullopt when it is neither or holds a NUL.
std::optional<QString> decodeRegBytes(const QByteArray &bytes)
{
    QString content;
    if (bytes.startsWith("\xff\xfe")) {
        // The registry editor itself writes UTF-16LE.
        QStringDecoder dec(QStringDecoder::Utf16LE);
        content = dec(bytes.mid(2));
        if (dec.hasError())
            return std::nullopt;
    } else {
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        content = dec(bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes);
        if (dec.hasError())
            return std::nullopt;
    }
    if (content.contains(QChar(0)))
        return std::nullopt;
    return content;
}

LoadResult loadRegFile(const QString &path, RegFile &out, QString *error = nullptr)
{
    QFile f(path);
    if (!f.exists())
        return LoadResult::Missing;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return LoadResult::Unreadable;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return LoadResult::Unreadable;
    }
    const std::optional<QString> content = decodeRegBytes(bytes);
    return content && parseRegFile(*content, out) ? LoadResult::Ok : LoadResult::Corrupt;
}

bool sameEntries(const RegFile &a, const RegFile &b)
{
    if (a.preamble != b.preamble || a.sections.size() != b.sections.size())
        return false;
    for (size_t i = 0; i < a.sections.size(); ++i) {
        const Section &x = a.sections[i];
        const Section &y = b.sections[i];
        if (x.path != y.path || x.entries.size() != y.entries.size())
            return false;
        for (size_t k = 0; k < x.entries.size(); ++k) {
            const Entry &e = x.entries[k];
            const Entry &f = y.entries[k];
            if (e.isValue != f.isValue || e.name != f.name || e.kind != f.kind || e.text != f.text)
                return false;
        }
    }
    return true;
}

// Moves a file that cannot be understood out of the way, so the next write does not destroy
// what the user may still want, and tells the user once.
void moveAside(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(path, target)) {
        qCWarning(lcSettings) << "settings file could not be read, moved to" << target;
        g_notice = (QStringLiteral("The settings file could not be read and was moved to \"%1\". "
                                   "Ambrylog goes on with default settings.")
                        .arg(target));
    } else {
        qCWarning(lcSettings) << "settings file could not be read nor moved:" << path;
        if (g_stuckNoticeGiven)
            return;
        g_stuckNoticeGiven = true;
        g_notice = (QStringLiteral("The settings file \"%1\" could not be read. "
                                   "Ambrylog goes on with default settings.")
                        .arg(path));
    }
}

// An exclusive flock() on a lock file beside the settings file, held around every
// read-modify-write; taking it costs no disk sync.
class SettingsLock
{
public:
    explicit SettingsLock(const QString &settingsPath) : m_lock(settingsPath + QStringLiteral(".lock")) {}

    bool acquire()
    {
        if (m_lock.lock(kLockWaitMs))
            return true;
        qCWarning(lcSettings).noquote() << errorText();
        return false;
    }
    // Why the lock could not be taken, with the system's reason.
    QString errorText() const
    {
        if (m_lock.error() == EWOULDBLOCK)
            return QStringLiteral("Another Ambrylog kept the settings locked too long.");
        return QStringLiteral("Cannot lock the settings file \"%1\". %2")
            .arg(m_lock.path(), errnoText(m_lock.error()));
    }

private:
    FileLock m_lock;
};

// The new text must read back as exactly what is meant to be stored: a file the reader would
// judge damaged (and move aside with every setting in it) is never put in place.
QString saveRegFile(const QString &path, const RegFile &file)
{
    const QByteArray bytes = serialise(file).toUtf8();
    RegFile back;
    const std::optional<QString> text = decodeRegBytes(bytes);
    if (!text || !parseRegFile(*text, back) || !sameEntries(back, file))
        return QStringLiteral("The settings would not read back as written; nothing was saved.");
    try {
        writeFileAtomically(path, bytes);
    } catch (const AmbryError &e) {
        return e.message();
    }
    return QString();
}

// Temporary files of a writer killed before its rename; only called under the lock.
void removeStaleTemporaries(const QString &settingsPath)
{
    const QFileInfo info(settingsPath);
    const QByteArray suffix = '.' + QFile::encodeName(info.suffix());
    const QByteArray stem = "." + QFile::encodeName(info.fileName());
    const QDir dir(info.absolutePath());
    for (const QString &name : dir.entryList({QLatin1Char('.') + info.fileName() + QStringLiteral(".tmp-*")},
                                             QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray bytes = QFile::encodeName(name);
        if (bytes.startsWith(stem) && isAtomicTemporaryName(bytes, suffix))
            QFile::remove(dir.filePath(name));
    }
}

// The current content for reading: a damaged file is moved aside (under the lock, after a
// second look, since a writer may just have replaced it) and reads as empty.
RegFile currentFile()
{
    RegFile file;
    const QString path = settingsFilePath();
    if (path.isEmpty())
        return file;
    const LoadResult r = loadRegFile(path, file);
    if (r == LoadResult::Ok)
        return file;
    file = RegFile();
    if (r == LoadResult::Corrupt) {
        SettingsLock lock(path);
        if (lock.acquire() && loadRegFile(path, file) == LoadResult::Corrupt) {
            moveAside(path);
            file = RegFile();
        }
    }
    return file;
}

// Read-modify-write under the lock. change returns false when there is nothing to write.
// Returns why nothing was saved; empty when the change was saved or there was none.
QString modifyFile(const std::function<bool(RegFile &)> &change)
{
    const QString path = settingsFilePath();
    if (path.isEmpty())
        return QStringLiteral("No folder for the settings could be determined.");
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        const int err = errno;
        return QStringLiteral("Cannot create the folder \"%1\". %2").arg(folder, errnoText(err));
    }
    SettingsLock lock(path);
    if (!lock.acquire())
        return lock.errorText();
    removeStaleTemporaries(path);
    RegFile file;
    QString readError;
    switch (loadRegFile(path, file, &readError)) {
    case LoadResult::Ok:
        break;
    case LoadResult::Missing:
        file.preamble = QStringList{kHeader, QString()};
        break;
    case LoadResult::Corrupt:
        moveAside(path);
        file = RegFile();
        file.preamble = QStringList{kHeader, QString()};
        break;
    case LoadResult::Unreadable:
        // Never overwrite what could not be read.
        return QStringLiteral("Cannot read the settings file \"%1\". %2").arg(path, readError);
    }
    if (!change(file))
        return QString();
    const QString error = saveRegFile(path, file);
    if (!error.isEmpty())
        qCWarning(lcSettings).noquote() << error;
    return error;
}

// Why a key path or value name cannot be stored (empty when it can): a line break or NUL
// would split its line of the file, and "]" would end a key's header early.
QString nameProblem(const QString &key, const QString &name)
{
    const auto unsafe = [](const QString &text) {
        return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
               text.contains(QChar(0)) || text.contains(QLatin1Char(']'));
    };
    if (unsafe(key))
        return QStringLiteral("A key path cannot hold a line break, a NUL or \"]\".");
    if (unsafe(name))
        return QStringLiteral("A value name cannot hold a line break, a NUL or \"]\".");
    return QString();
}

// Sets a text value in the parsed file; false when it already held exactly that.
bool setValueIn(RegFile &file, const QString &key, const QString &name, const QString &text)
{
    Entry *last = nullptr;
    Section *lastSection = nullptr;
    for (Section &s : file.sections) {
        if (!matchesKey(s, key))
            continue;
        lastSection = &s;
        for (Entry &e : s.entries) {
            if (e.isValue && sameName(e.name, name))
                last = &e;
        }
    }
    const QString line = valueLine(last ? last->name : name, text);
    if (last) {
        if (last->kind == Kind::Text && last->raw == line)
            return false; // unchanged
        last->raw = line;
        last->kind = Kind::Text;
        last->text = text;
        return true;
    }
    Entry entry;
    entry.raw = line;
    entry.isValue = true;
    entry.name = name;
    entry.text = text;
    if (!lastSection) {
        // Keep a blank line between keys, as an export has.
        if (file.sections.empty()) {
            if (!file.preamble.isEmpty() && !file.preamble.last().trimmed().isEmpty())
                file.preamble << QString();
        } else {
            const auto &last = file.sections.back().entries;
            if (last.empty() || last.back().isValue || !last.back().raw.trimmed().isEmpty())
                file.sections.back().entries.push_back(Entry{});
        }
        Section s;
        s.path = kRoot + normalisedKey(key);
        s.header = QLatin1Char('[') + s.path + QLatin1Char(']');
        file.sections.push_back(std::move(s));
        lastSection = &file.sections.back();
    }
    // New values go before the blank lines that end a section.
    auto &entries = lastSection->entries;
    auto pos = entries.end();
    while (pos != entries.begin() && !(pos - 1)->isValue && (pos - 1)->raw.trimmed().isEmpty())
        --pos;
    entries.insert(pos, std::move(entry));
    return true;
}

// The entry a read finds: the last line of that name in any section of that key.
const Entry *findValue(const RegFile &file, const QString &key, const QString &name)
{
    const Entry *found = nullptr;
    for (const Section &s : file.sections) {
        if (!matchesKey(s, key))
            continue;
        for (const Entry &e : s.entries) {
            if (e.isValue && sameName(e.name, name))
                found = &e; // a later line overrides an earlier one, as on import
        }
    }
    return found;
}

bool isAutostartValue(const QString &key, const QString &name, bool *isRunKey)
{
    *isRunKey = sameName(normalisedKey(key), RegKey::Run);
    return *isRunKey && sameName(name, RegName::RunEntry);
}

} // namespace

QString settingsFilePath()
{
    const QString home = GetConfigHomeFolder();
    if (home.isEmpty())
        return QString();
    return home + QStringLiteral("/Brightfen/Ambrylog/settings.reg");
}

QString takeSettingsNotice()
{
    QString notice;
    notice.swap(g_notice);
    return notice;
}

QString ReadSetting(const QString &key, const QString &name)
{
    return ReadSettingIfPresent(key, name).value_or(QString());
}

std::optional<QString> ReadSettingIfPresent(const QString &key, const QString &name)
{
    bool runKey = false;
    if (isAutostartValue(key, name, &runKey)) {
        const QString command = readAutostartCommand();
        return command.isEmpty() ? std::nullopt : std::optional<QString>(command);
    }
    if (runKey)
        return std::nullopt;

    const RegFile file = currentFile();
    const Entry *found = findValue(file, key, name);
    if (!found || found->kind == Kind::Deleted)
        return std::nullopt;
    if (found->kind != Kind::Text)
        throw AmbryError(QStringLiteral("Invalid data type for '%1'").arg(name));
    const qsizetype nul = found->text.indexOf(QChar(0));
    return nul < 0 ? found->text : found->text.left(nul);
}

void WriteSetting(const QString &key, const QString &name, const QString &value)
{
    QString ignored;
    WriteSettingChecked(key, name, value, &ignored);
}

bool WriteSettingChecked(const QString &key, const QString &name, const QString &value, QString *error)
{
    error->clear();
    bool runKey = false;
    if (isAutostartValue(key, name, &runKey)) {
        if (writeAutostartCommand(value))
            return true;
        *error = QStringLiteral("The start-up entry could not be written.");
        return false;
    }
    if (runKey) {
        *error = QStringLiteral("Only \"%1\" lives in the start-up list.").arg(RegName::RunEntry);
        return false;
    }
    *error = nameProblem(key, name);
    if (!error->isEmpty())
        return false;
    // The stored text ends at its first NUL, as a registry string does.
    const QString text = value.left(value.indexOf(QChar(0)) < 0 ? value.size() : value.indexOf(QChar(0)));
    *error = modifyFile([&](RegFile &file) { return setValueIn(file, key, name, text); });
    return error->isEmpty();
}

bool DeleteSetting(const QString &key, const QString &name)
{
    QString ignored;
    return DeleteSettingChecked(key, name, &ignored);
}

bool DeleteSettingChecked(const QString &key, const QString &name, QString *error)
{
    error->clear();
    bool runKey = false;
    if (isAutostartValue(key, name, &runKey))
        return removeAutostartEntry();
    if (runKey)
        return false;
    *error = nameProblem(key, name);
    if (!error->isEmpty())
        return false;

    bool existed = false;
    *error = modifyFile([&](RegFile &file) {
        for (Section &s : file.sections) {
            if (!matchesKey(s, key))
                continue;
            for (auto it = s.entries.begin(); it != s.entries.end();) {
                if (it->isValue && sameName(it->name, name)) {
                    existed = existed || it->kind != Kind::Deleted;
                    it = s.entries.erase(it);
                } else {
                    ++it;
                }
            }
        }
        return existed;
    });
    return existed && error->isEmpty();
}

std::optional<QString> readSettingFromBytes(const QByteArray &bytes, const QString &key, const QString &name)
{
    RegFile file;
    const std::optional<QString> text = decodeRegBytes(bytes);
    if (!text || !parseRegFile(*text, file))
        return std::nullopt;
    const Entry *found = findValue(file, key, name);
    if (!found || found->kind != Kind::Text)
        return std::nullopt;
    const qsizetype nul = found->text.indexOf(QChar(0));
    return nul < 0 ? found->text : found->text.left(nul);
}

std::optional<QByteArray> writeSettingToBytes(const QByteArray &bytes, const QString &key,
                                              const QString &name, const QString &value, QString *error)
{
    *error = nameProblem(key, name);
    if (!error->isEmpty())
        return std::nullopt;
    RegFile file;
    const std::optional<QString> text = decodeRegBytes(bytes);
    if (!text || !parseRegFile(*text, file)) {
        *error = QStringLiteral("The settings text does not read as a settings file.");
        return std::nullopt;
    }
    setValueIn(file, key, name,
               value.left(value.indexOf(QChar(0)) < 0 ? value.size() : value.indexOf(QChar(0))));
    const QByteArray out = serialise(file).toUtf8();
    RegFile back;
    const std::optional<QString> outText = decodeRegBytes(out);
    if (!outText || !parseRegFile(*outText, back) || !sameEntries(back, file)) {
        *error = QStringLiteral("The settings would not read back as written; nothing was saved.");
        return std::nullopt;
    }
    return out;
}
