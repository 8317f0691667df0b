#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AboutFacts.h"
#include "app/gui/AppLinks.h"
#include "app/gui/fmAbout.h"
#include "settings/gVars.h"
#include "util/gui/ShellService.h"
#include "util/gui/gUtilsGui.h"

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

TEST(AboutFacts, MemoryFromMeminfo)
{
    const struct
    {
        const char *what;
        const char *text;
        bool known;
        qint64 total;
        int load;
    } table[] = {
        {"a usual machine",
         "MemTotal:       16314396 kB\nMemFree:         1200000 kB\nMemAvailable:   10277069 kB\n"
         "Buffers:          300000 kB\nCached:          5000000 kB\n",
         true, 16314396, 37},
        {"MemAvailable counts, not MemFree", "MemTotal: 1000 kB\nMemFree: 900 kB\nMemAvailable: 250 kB\n",
         true, 1000, 75},
        {"rounded to the nearest per cent", "MemTotal: 1000 kB\nMemAvailable: 994 kB\n", true, 1000, 1},
        {"an older kernel: free, buffers and cache",
         "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 250 kB\n", true, 1000, 60},
        {"more available than total is nothing in use", "MemTotal: 1000 kB\nMemAvailable: 4000 kB\n", true,
         1000, 0},
        {"no total", "MemFree: 100 kB\nMemAvailable: 100 kB\n", false, 0, 0},
        {"a total that is not a number", "MemTotal: lots kB\nMemAvailable: 1 kB\n", false, 0, 0},
        {"nothing about what is free", "MemTotal: 1000 kB\n", false, 0, 0},
        {"empty", "", false, 0, 0},
    };
    for (const auto &row : table) {
        const MemoryStatus s = memoryStatusFromMeminfo(QByteArray(row.text));
        EXPECT_EQ(s.known, row.known) << row.what;
        EXPECT_EQ(s.totalKb, row.total) << row.what;
        EXPECT_EQ(s.loadPercent, row.load) << row.what;
    }
    MemoryStatus s;
    s.totalKb = 16314396;
    s.loadPercent = 7;
    EXPECT_EQ(memoryTotalText(s), QStringLiteral("16,314,396 KB"));
    EXPECT_EQ(memoryLoadText(s), QStringLiteral("7 %"));

    const MemoryStatus here = readMemoryStatus();
    EXPECT_TRUE(here.known);
    EXPECT_GT(here.totalKb, 0);
    EXPECT_LE(here.availableKb, here.totalKb);
}

TEST(AboutFacts, VersionLinesAndPattern)
{
    EXPECT_EQ(fourPartVersion(QStringLiteral("0.1.0")), QStringLiteral("0.1.0.0"));
    EXPECT_EQ(fourPartVersion(QStringLiteral("2.10.3.7")), QStringLiteral("2.10.3.7"));
    EXPECT_EQ(fourPartVersion(QStringLiteral("3")), QStringLiteral("3.0.0.0"));
    EXPECT_EQ(fourPartVersion(QString()), QStringLiteral("0.0.0.0"));

    const QStringList lines = aboutLines(QStringLiteral("1.2.3"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Version 1.2.3.0 for Linux\u00ae"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("2005-%1").arg(QDate::currentDate().year())))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("Brightfen"));

    const QList<PatternSquare> squares = aboutPattern(492);
    ASSERT_EQ(squares.size(), 12 * 6);
    EXPECT_EQ(squares.front().rect, QRect(4, 37, 9, 9));
    EXPECT_EQ(squares.front().grey, 233);
    EXPECT_EQ(squares.back().rect, QRect(36 * 11 + 4, 36 * 5 + 37, 9, 9));
    EXPECT_EQ(squares.back().grey, 255);
    EXPECT_TRUE(aboutPattern(70).isEmpty());
}

namespace {

class AboutWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setShellForTesting(&shell);
        gVars().programFolder = QStringLiteral("/opt/ambrylog/bin/");
        gVars().dataFolder = QStringLiteral("/home/u/.local/share/Brightfen/Ambrylog/");
    }
    void TearDown() override { setShellForTesting(nullptr); }

    // Opens the window through its entry and runs `act` on it once it is up.
    int run(const std::function<void(TfrmAbout *)> &act)
    {
        QTimer::singleShot(0, qApp, [act] {
            TfrmAbout *w = TfrmAbout::instance();
            ASSERT_NE(w, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowActive(w));
            act(w);
        });
        return ShowAboutWindow();
    }

    template <typename T> static T *child(TfrmAbout *w, const char *name)
    {
        auto *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    RecordingShell shell;
};

} // namespace

TEST_F(AboutWindow, ALongDataFolderIsShownWhole)
{
    gVars().dataFolder = QStringLiteral("/home/a-rather-long-user-name/.local/share/Brightfen/Ambrylog/") +
                         QStringLiteral("and-further-down/");
    run([this](TfrmAbout *w) {
        auto *data = child<QPlainTextEdit>(w, "edtTntRoamingAppDataFolder");
        EXPECT_EQ(data->accessibleName(), QStringLiteral("Application data folder"));
        EXPECT_GE(data->height(), 2 * data->fontMetrics().lineSpacing()) << "wrapped, not cut";
        EXPECT_GT(w->height(), 394) << "the window grows by the added line";
        auto *close = child<QPushButton>(w, "btnCancel");
        EXPECT_GE(close->mapTo(w, QPoint(0, 0)).y(), data->geometry().bottom()) << "nothing covers the path";
        close->click();
    });
}

TEST_F(AboutWindow, ShowsItsFactsAndOpensItsLinks)
{
    const int result = run([](TfrmAbout *w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Ambrylog"));
        EXPECT_EQ(child<QLabel>(w, "lblTitle")->text(), QStringLiteral("Ambrylog"));
        EXPECT_EQ(child<QLabel>(w, "lblVersion")->text(),
                  aboutLines(QStringLiteral(AMBRY_VERSION)).join(QLatin1Char('\n')));
        EXPECT_TRUE(child<QLabel>(w, "Label4")->text().endsWith(QStringLiteral(" KB")));
        EXPECT_TRUE(child<QLabel>(w, "Label5")->text().endsWith(QStringLiteral(" %")));
        auto *app = child<QPlainTextEdit>(w, "edtAppFolder");
        EXPECT_EQ(app->toPlainText(), QStringLiteral("/opt/ambrylog/bin/"));
        EXPECT_TRUE(app->isReadOnly());
        EXPECT_FALSE(app->focusPolicy() & Qt::TabFocus);
        EXPECT_EQ(child<QPlainTextEdit>(w, "edtTntRoamingAppDataFolder")->toPlainText(),
                  QStringLiteral("/home/u/.local/share/Brightfen/Ambrylog/"));
        EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);

        QTest::mouseClick(child<QLabel>(w, "lblHomePage"), Qt::LeftButton);
        QTest::mouseClick(child<QLabel>(w, "lblNewsletter"), Qt::LeftButton);
        QTest::mouseClick(child<QLabel>(w, "lblSupportMail"), Qt::LeftButton);
        EXPECT_TRUE(w->isVisible()) << "links keep the window open";
        QTest::mouseClick(child<QPushButton>(w, "btnCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(shell.openedUrls.size(), 3);
    EXPECT_EQ(shell.openedUrls[0], QUrl(links::HomePage));
    EXPECT_EQ(shell.openedUrls[1], QUrl(links::Newsletter));
    EXPECT_EQ(shell.openedUrls[2], composeMailUrl(links::SupportMail, QString(), QString()));
    EXPECT_EQ(TfrmAbout::instance(), nullptr);
}

TEST_F(AboutWindow, EscEnterAndASecondOpeningCloseIt)
{
    const struct
    {
        const char *how;
        std::function<void(TfrmAbout *)> close;
    } ways[] = {
        {"Esc", [](TfrmAbout *w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"Enter", [](TfrmAbout *w) { QTest::keyClick(w, Qt::Key_Return); }},
        {"opening again", [](TfrmAbout *) { EXPECT_EQ(ShowAboutWindow(), 0); }},
        {"switching to another program",
         [](TfrmAbout *) { emit qApp->applicationStateChanged(Qt::ApplicationInactive); }},
    };
    for (const auto &way : ways) {
        bool stillOpen = true;
        EXPECT_EQ(run([&](TfrmAbout *w) {
                      way.close(w);
                      stillOpen = w->isVisible();
                  }),
                  QDialog::Rejected)
            << way.how;
        EXPECT_FALSE(stillOpen) << way.how;
        EXPECT_EQ(TfrmAbout::instance(), nullptr) << way.how;
    }
    // An Esc pressed in another window and released here does not close it.
    run([](TfrmAbout *w) {
        QTest::keyRelease(w, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        w->reject();
    });
}
