#pragma once

// Archives for the browser's tests: fields chosen per test, records only as many as needed.

#include <QByteArray>
#include <QList>
#include <QString>

namespace browsertest {

struct Fields
{
    QByteArray mark = "CD 1";
    QByteArray date = "979544548"; // 02/03/2009 21:15:08
    QByteArray location = "Shelf A";
    QByteArray note;
    QByteArray files = "1";
    QByteArray dirs = "0";
    QByteArray size = "100";
    bool withEnd = true;
};

// Records as many as "AFiles" says, then the fields in the writer's order (a field whose value
// is "-" is left out).
QByteArray archiveBytes(const Fields &f, const QByteArray &eol = "\r\n");
QString writeArchive(const QString &folder, const QString &name, const Fields &f,
                     const QByteArray &eol = "\r\n");
// One file record of a disc, as the walk writes it.
struct Rec
{
    QByteArray folder;
    QByteArray name;
    QByteArray size = "100";
    QByteArray date = "950948495"; // 14/05/2008 10:20:30
};
// An archive of these records followed by the writer's fields (AFiles counts the records),
// written to folder/name; its full path.
QString writeDisc(const QString &folder, const QString &name, const QByteArray &mark,
                  const QList<Rec> &records);

// A fresh catalog folder (ending in "/") that gVars() points at.
QString newCatalog();

} // namespace browsertest
