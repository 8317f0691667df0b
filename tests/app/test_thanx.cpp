#include "helper_mainwindow.h"

#include "app/gui/fmThanx.h"
#include "settings/gRegistry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString Name = QStringLiteral("MsgThanx");

// Runs `act` on the welcome window once it is up; records whether it appeared and its texts.
struct Seen
{
    bool shown = false;
    QString caption, lbl1, lbl2;
    QSize size;
    QString colour;
};

void whenShown(Seen &seen, std::function<void(QDialog *)> act)
{
    QTimer::singleShot(0, [&seen, act] {
        auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        seen.shown = true;
        seen.caption = dlg->windowTitle();
        seen.size = dlg->size();
        if (auto *l = dlg->findChild<QLabel *>(QStringLiteral("lbl1")))
            seen.lbl1 = l->text();
        if (auto *l = dlg->findChild<QLabel *>(QStringLiteral("lbl2")))
            seen.lbl2 = l->text();
        if (auto *bar = dlg->findChild<QWidget *>(QStringLiteral("Panel1")))
            seen.colour = bar->palette().color(QPalette::Window).name();
        act(dlg);
    });
}

class ThanxTest : public ::testing::Test
{
protected:
    void SetUp() override { clearMainSettings(); }
};

TEST_F(ThanxTest, ShownOnceWithItsTextsAndRemembered)
{
    Seen seen;
    whenShown(seen, [](QDialog *dlg) {
        auto *ok = dlg->findChild<QPushButton *>(QStringLiteral("btnOK"));
        if (ok)
            ok->click();
    });
    EXPECT_EQ(ShowThanx(RegKey::S, Name, QStringLiteral("Ambrylog")), int(QDialog::Accepted));
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.caption, QStringLiteral("Ambrylog"));
    EXPECT_EQ(seen.lbl1, QStringLiteral("Thank you using Ambrylog!"));
    EXPECT_TRUE(seen.lbl2.startsWith(
        QStringLiteral("We encourage you to visit our web site for more Brightfen products.\n")));
    EXPECT_TRUE(seen.lbl2.endsWith(QStringLiteral("\n\n\nWith regards, Brightfen programmers")));
    EXPECT_EQ(seen.size, QSize(449, 221));
    EXPECT_EQ(seen.colour, QStringLiteral("#bf0a30"));
    EXPECT_EQ(ReadSetting(RegKey::S, Name), QStringLiteral("T"));

    // The next start shows nothing.
    Seen again;
    whenShown(again, [](QDialog *dlg) { dlg->reject(); });
    EXPECT_EQ(ShowThanx(RegKey::S, Name, QStringLiteral("Ambrylog")), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(again.shown);
}

TEST_F(ThanxTest, EveryWayOfClosingRemembersIt)
{
    const struct
    {
        const char *how;
        std::function<void(QDialog *)> act;
        int result;
    } table[] = {
        {"Esc released",
         [](QDialog *dlg) {
             QTest::keyPress(dlg, Qt::Key_Escape);
             QTest::keyRelease(dlg, Qt::Key_Escape);
         },
         int(QDialog::Accepted)},
        {"close box", [](QDialog *dlg) { dlg->close(); }, int(QDialog::Rejected)},
    };
    for (const auto &row : table) {
        clearMainSettings();
        Seen seen;
        whenShown(seen, row.act);
        EXPECT_EQ(ShowThanx(RegKey::S, Name, QStringLiteral("Ambrylog")), row.result) << row.how;
        EXPECT_TRUE(seen.shown) << row.how;
        EXPECT_EQ(ReadSetting(RegKey::S, Name), QStringLiteral("T")) << row.how;
    }
}

TEST_F(ThanxTest, AnyStoredTextCountsAsSeen)
{
    WriteSetting(RegKey::S, Name, QStringLiteral("F"));
    Seen seen;
    whenShown(seen, [](QDialog *dlg) { dlg->reject(); });
    EXPECT_EQ(ShowThanx(RegKey::S, Name, QStringLiteral("Ambrylog")), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(ReadSetting(RegKey::S, Name), QStringLiteral("F"));
}

} // namespace
