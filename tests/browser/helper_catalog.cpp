#include "helper_catalog.h"

#include "TestSupport.h"

#include "settings/gVars.h"

namespace browsertest {

QByteArray archiveBytes(const Fields &f, const QByteArray &eol)
{
    // As many records as "AFiles" says (one when it is no small number), so that only what a
    // test means to damage is damaged.
    bool numeric = false;
    const int records = f.files.toInt(&numeric);
    QByteArray out;
    for (int i = 0; i < ((numeric && records > 0 && records <= 1000) ? records : 1); ++i)
        out += "\\" + eol + "file" + QByteArray::number(i) + ".txt" + eol + "100" + eol + "950948495" + eol;
    const auto field = [&](const char *key, const QByteArray &value) {
        if (value != "-")
            out += key + QByteArray("=") + value + eol;
    };
    field("ADate", f.date);
    field("AMark", f.mark);
    field("ALocation", f.location);
    field("ACRC", "1");
    field("AFiles", f.files);
    field("ADirs", f.dirs);
    field("ANote", f.note);
    field("ASize", f.size);
    field("ANumber", "1");
    field("ASource", "CD/DVD");
    field("APicture", "");
    if (f.withEnd)
        field("AEnd", "EndTag");
    return out;
}

QString writeArchive(const QString &folder, const QString &name, const Fields &f, const QByteArray &eol)
{
    const QString path = folder + name;
    ambrytest::writeFile(path, archiveBytes(f, eol));
    return path;
}

QString writeDisc(const QString &folder, const QString &name, const QByteArray &mark,
                  const QList<Rec> &records)
{
    QByteArray out;
    for (const Rec &r : records)
        out += r.folder + "\r\n" + r.name + "\r\n" + r.size + "\r\n" + r.date + "\r\n";
    out += "ADate=979544548\r\nAMark=" + mark +
           "\r\nALocation=Shelf A\r\nACRC=1\r\nAFiles=" + QByteArray::number(records.size()) +
           "\r\nADirs=1\r\nANote=\r\nASize=0\r\nANumber=1\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n";
    const QString path = folder + name;
    ambrytest::writeFile(path, out);
    return path;
}

QString newCatalog()
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("catalog")) + QLatin1Char('/');
    gVars().catalogFolder = folder;
    return folder;
}

} // namespace browsertest
