#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/AmbryError.h"
#include "util/gui/MessageBox.h"
#include "util/gui/ShellService.h"
#include "util/gui/gUtilsGui.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <functional>
#include <ostream>

namespace {

class Shell : public ::testing::Test
{
protected:
    void SetUp() override { setShellForTesting(&m_shell); }
    void TearDown() override { setShellForTesting(nullptr); }
    RecordingShell m_shell;
};

} // namespace

TEST_F(Shell, OpenWithShellHandsOverAddressesAndFiles)
{
    const QString cwd = QDir::currentPath();
    const struct
    {
        const char *target;
        const char *url;
    } cases[] = {
        {"https://example.org/help page.html", "https://example.org/help%20page.html"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"/media/u/MY DISC/it's \"x\" $(id) #1 50%.pdf",
         "file:///media/u/MY%20DISC/it's%20%22x%22%20$(id)%20%231%2050%25.pdf"},
        {"C:\\Music\\a.mp3", nullptr}, // no address: a (relative) file name
        {"notes/readme.txt", nullptr},
    };
    for (const auto &c : cases) {
        m_shell.openedUrls.clear();
        const QString target = QString::fromUtf8(c.target);
        OpenWithShell(nullptr, target);
        ASSERT_EQ(m_shell.openedUrls.size(), 1) << c.target;
        const QUrl url = m_shell.openedUrls.front();
        if (c.url) {
            EXPECT_EQ(url.toString(QUrl::FullyEncoded), QString::fromLatin1(c.url)) << c.target;
        } else {
            EXPECT_TRUE(url.isLocalFile()) << c.target;
            EXPECT_EQ(url.toLocalFile(), cwd + QLatin1Char('/') + target);
        }
        if (url.isLocalFile() && target.startsWith(QLatin1Char('/'))) {
            EXPECT_EQ(url.toLocalFile(), target) << "the path survives exactly";
        }
    }
    m_shell.openedUrls.clear();
    OpenWithShell(nullptr, QString());
    EXPECT_TRUE(m_shell.openedUrls.isEmpty());
}

TEST_F(Shell, WhatCannotBeOpenedIsToldWithItsAddress)
{
    QStringList boxes;
    setMessageBoxHandler([&](MsgKind kind, const QString &text) {
        EXPECT_EQ(kind, MsgKind::Error);
        boxes << text;
        return MsgAnswer::Ok;
    });
    m_shell.openResult = false;
    const struct
    {
        std::function<bool()> open;
        const char *shown; // the part of the box the user needs to go on by hand
    } cases[] = {
        {[] { return OpenWithShell(nullptr, QStringLiteral("https://example.org/help#faq")); },
         "https://example.org/help#faq"},
        {[] { return OpenWithShell(nullptr, QStringLiteral("/media/disc/Music/song.mp3")); },
         "/media/disc/Music/song.mp3"},
        {[] { return ComposeMail(nullptr, QString(), QStringLiteral("Hi"), QStringLiteral("there")); },
         "mail program"},
    };
    for (const auto &c : cases) {
        boxes.clear();
        EXPECT_FALSE(c.open()) << c.shown;
        ASSERT_EQ(boxes.size(), 1) << c.shown;
        EXPECT_TRUE(boxes.first().contains(QString::fromUtf8(c.shown))) << boxes.first().toStdString();
    }
    // Handed over: nothing to tell.
    m_shell.openResult = true;
    boxes.clear();
    EXPECT_TRUE(OpenWithShell(nullptr, QStringLiteral("https://example.org/")));
    EXPECT_TRUE(boxes.isEmpty());
    setMessageBoxHandler({});
}

TEST_F(Shell, ComposeMailKeepsBothSeparators)
{
    EXPECT_EQ(composeMailText(QStringLiteral("a@b.org"), QString(), QString()),
              QStringLiteral("mailto:a@b.org?subject=&Body="));
    EXPECT_EQ(
        composeMailText(QStringLiteral("a@b.org"), QStringLiteral("Hi there"), QStringLiteral("Body text")),
        QStringLiteral("mailto:a@b.org?subject=Hi there&Body=Body text"));

    ComposeMail(nullptr, QStringLiteral("a@b.org"), QString(), QString());
    ASSERT_EQ(m_shell.openedUrls.size(), 1);
    EXPECT_EQ(m_shell.openedUrls.front().toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:a@b.org?subject=&Body="));

    // Reserved characters in subject or body reach the mail program unchanged.
    const QString subject = QStringLiteral("Disc #12 & \"Ärger\" 50%+1");
    const QString body = QStringLiteral("line1\nline2 a+b=c&d");
    ComposeMail(nullptr, QStringLiteral("a@b.org"), subject, body);
    ASSERT_EQ(m_shell.openedUrls.size(), 2);
    const QUrl url = m_shell.openedUrls.back();
    EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(url.path(), QStringLiteral("a@b.org"));
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), subject);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), body);
    EXPECT_EQ(query.queryItems().size(), 2);
}

TEST_F(Shell, CopyFileToClipboardOffersEveryFileManagerFormat)
{
    const QString path = QStringLiteral("/data/my file #1.txt");
    CopyFileToClipboard(path);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("copy\nfile:///data/my%20file%20%231.txt"));
    EXPECT_EQ(data->data(QStringLiteral("text/uri-list")),
              QByteArray("file:///data/my%20file%20%231.txt\r\n"));
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(data->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("0"));
    EXPECT_EQ(data->text(), path);

    // Through the desktop's own service as well.
    setShellForTesting(nullptr);
    CopyFileToClipboard(QStringLiteral("/other/ünï.txt"));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->text(), QStringLiteral("/other/ünï.txt"));
}

TEST_F(Shell, RefusedClipboardIsReported)
{
    m_shell.clipboardFails = true;
    try {
        CopyFileToClipboard(QStringLiteral("/data/x.txt"));
        ADD_FAILURE() << "no error";
    } catch (const AmbryError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Could not allocate memory."));
    }
}

TEST(StatusBarProgress, SitsOverTheSecondPanel)
{
    QStatusBar statusBar;
    auto *first = new QLabel(QStringLiteral("12 files"));
    first->setFixedWidth(120);
    auto *second = new QLabel;
    statusBar.addWidget(first);
    statusBar.addWidget(second, 1);
    auto *bar = new QProgressBar(&statusBar);
    statusBar.resize(400, 24);
    statusBar.show();
    QApplication::processEvents();

    installProgressBarPlacement(&statusBar, bar);
    ASSERT_GT(second->width(), 10);
    EXPECT_EQ(bar->geometry(), second->geometry().adjusted(1, 1, -1, -1));
    EXPECT_EQ(bar->parentWidget(), &statusBar);

    statusBar.resize(700, 30);
    QApplication::processEvents();
    EXPECT_EQ(bar->geometry(), second->geometry().adjusted(1, 1, -1, -1)) << "follows a resize";
    EXPECT_GT(bar->width(), 400);
}

TEST(StatusBarProgress, WithoutASecondPanel)
{
    QStatusBar statusBar;
    auto *first = new QLabel(QStringLiteral("x"));
    first->setFixedWidth(100);
    statusBar.addWidget(first);
    QProgressBar bar;
    statusBar.resize(300, 20);
    statusBar.show();
    QApplication::processEvents();
    PlaceProgressBarInStatusBar(&statusBar, &bar);
    EXPECT_EQ(bar.parentWidget(), &statusBar);
    EXPECT_EQ(bar.geometry().left(), first->geometry().right() + 2);
    EXPECT_EQ(bar.geometry().right(), statusBar.rect().right() - 1);
}

TEST(EnterKey, MovesTheFocusBetweenEdits)
{
    QDialog window;
    auto *layout = new QVBoxLayout(&window);
    auto *mark = new QLineEdit;
    auto *location = new QLineEdit;
    auto *spin = new QSpinBox;
    auto *note = new QLineEdit;
    auto *ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    for (QWidget *w : std::initializer_list<QWidget *>{mark, location, spin, note, ok})
        layout->addWidget(w);
    installEnterMovesFocus(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    mark->setFocus();
    QApplication::processEvents();
    QSignalSpy accepted(&window, &QDialog::accepted);
    QSignalSpy returned(mark, &QLineEdit::returnPressed);

    QTest::keyClicks(mark, QStringLiteral("ab"));
    QTest::keyClick(mark, Qt::Key_Return);
    EXPECT_EQ(window.focusWidget(), location);
    EXPECT_EQ(mark->text(), QStringLiteral("ab"));
    EXPECT_EQ(returned.count(), 0) << "the edit never sees the key";
    QTest::keyClick(location, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(window.focusWidget() == spin || window.focusWidget()->parentWidget() == spin);
    location->setFocus();
    QTest::keyClick(location, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(window.focusWidget(), mark) << "Shift+Enter goes back";
    note->setFocus();
    QTest::keyClick(note, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(window.focusWidget() == spin || window.focusWidget()->parentWidget() == spin);
    EXPECT_EQ(accepted.count(), 0) << "Enter in an edit does not close the dialog";
}

TEST(EnterKey, OtherKeysAndEventsPassThrough)
{
    QWidget window;
    auto *edit = new QLineEdit(&window);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_FALSE(EnterMovesFocus(&window, &letter));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    EXPECT_FALSE(EnterMovesFocus(&window, &enter)) << "no focus widget yet";
    edit->setFocus();
    EXPECT_TRUE(EnterMovesFocus(&window, &enter));
    EXPECT_FALSE(EnterMovesFocus(&window, nullptr));
}

TEST(Selection, SelectsAndClearsEveryRow)
{
    QStandardItemModel model(6, 3);
    QTableView view;
    view.setModel(&model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    SetAllItemsSelected(&view, true);
    EXPECT_EQ(view.selectionModel()->selectedRows().size(), 6);
    EXPECT_EQ(view.selectionModel()->selectedIndexes().size(), 18);
    SetAllItemsSelected(&view, false);
    EXPECT_FALSE(view.selectionModel()->hasSelection());

    QStandardItemModel empty;
    view.setModel(&empty);
    SetAllItemsSelected(&view, true);
    EXPECT_FALSE(view.selectionModel()->hasSelection());
    SetAllItemsSelected(nullptr, true);
}

TEST(MessageBoxes, EnterAnswersNoAndAShortBoxKeepsItsTitleWhole)
{
    // What the user meets in the real boxes, answered with the keys.
    QMessageBox *seen = nullptr;
    QString defaultText;
    int width = 0;
    const auto answerWith = [&](Qt::Key key) {
        QTimer::singleShot(0, [&, key] {
            seen = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!seen)
                return;
            defaultText = seen->defaultButton() ? seen->defaultButton()->text() : QString();
            width = seen->width();
            QTest::keyClick(seen, key);
        });
    };
    answerWith(Qt::Key_Return);
    EXPECT_FALSE(askConfirm(QStringLiteral("Are you sure you want to remove: CD 1 ?")));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(defaultText, QStringLiteral("&No"));

    seen = nullptr;
    answerWith(Qt::Key_Return);
    showMessage(QStringLiteral("Done."));
    ASSERT_NE(seen, nullptr);
    const QFontMetrics fm(QApplication::font());
    EXPECT_GE(width, fm.horizontalAdvance(QStringLiteral("Ambrylog")) + 160)
        << "room for the title beside the window manager's buttons";
}
