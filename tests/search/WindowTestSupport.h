#pragma once

// Catalogs and window handling for the search window's tests.

#include "TestSupport.h"

#include "settings/gVars.h"
#include "catalog/DosDateTime.h"
#include "search/gui/fmSearch.h"
#include "util/gui/MessageBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

namespace searchwin {

struct Rec
{
    QByteArray folder;
    QByteArray name;
    qint64 size = 0;
    int32_t date = 0;
};

inline int32_t packed(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    return dosdate::pack(y, m, d, h, mi, s);
}

// An archive as the add-disc session writes it: four lines per record, then the fields.
inline QByteArray archiveBytes(const QByteArray &mark, const QList<Rec> &records)
{
    QByteArray out;
    for (const Rec &r : records)
        out += r.folder + "\r\n" + r.name + "\r\n" + QByteArray::number(r.size) + "\r\n" +
               QByteArray::number(r.date) + "\r\n";
    qint64 total = 0;
    for (const Rec &r : records)
        total += r.size;
    out += "ADate=979544548\r\nAMark=" + mark +
           "\r\nALocation=Shelf A\r\nACRC=1\r\nAFiles=" + QByteArray::number(records.size()) +
           "\r\nADirs=1\r\nANote=\r\nASize=" + QByteArray::number(total) +
           "\r\nANumber=1\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n";
    return out;
}

inline QString writeArchive(const QString &folder, const QString &fileName, const QByteArray &mark,
                            const QList<Rec> &records)
{
    const QString path = folder + fileName;
    ambrytest::writeFile(path, archiveBytes(mark, records));
    return path;
}

// A fresh catalog folder that the window searches.
inline QString useNewCatalog()
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("catalog")) + QLatin1Char('/');
    gVars().catalogFolder = folder;
    return folder;
}

// Back to the state of a fresh run of the program.
inline void resetUnitState()
{
    SearchUnitState &s = searchUnitState();
    s.OnlyMark.clear();
    s.criteria = search::SearchCriteria();
    s.CancelRequested = false;
    s.SortColumn = 1;
    s.SortAscending = true;
    s.LastMousePos = QPoint();
    s.notices = search::SearchNotices();
}

// Records every message box instead of showing it.
struct MessageLog
{
    QStringList texts;
    MessageLog()
    {
        setMessageBoxHandler([this](MsgKind, const QString &text) {
            texts << text;
            return MsgAnswer::Ok;
        });
    }
    ~MessageLog() { setMessageBoxHandler(nullptr); }
};

template <typename T> T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Runs body once the event loop of a modal window is running (polls for up to 5 s).
inline void whenShown(std::function<bool()> ready, std::function<void()> body)
{
    auto *timer = new QTimer;
    auto started = std::make_shared<qint64>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, body, started] {
        *started += 10;
        if (ready() || *started > 5000) {
            timer->stop();
            timer->deleteLater();
            body();
        }
    });
    timer->start(10);
}

} // namespace searchwin
