// The search window driven through its actions, keys and controls, as a user would.

#include "WindowTestSupport.h"

#include "search/ResultsModel.h"
#include "search/gui/fmPropreties.h"
#include "settings/Settings.h"
#include "settings/gRegistry.h"
#include "util/Mnemonics.h"
#include "util/gUtils.h"
#include "util/gui/ExportCommand.h"

#include <QAction>
#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>

using namespace searchwin;
using search::ResultsModel;

namespace {

// Nine records in three archives, one of them in a subfolder of the catalog.
void writeDefaultCatalog(const QString &catalog)
{
    writeArchive(catalog, QStringLiteral("100.dat"), "CD 1",
                 {{"\\", "readme.txt", 1234, packed(2008, 5, 14, 10, 20, 30)},
                  {"Music", "track01.mp3", 4321987, packed(2008, 5, 13, 18, 2, 10)},
                  {"Music\\Rock", "song.MP3", 999, packed(2007, 1, 2)}});
    writeArchive(catalog, QStringLiteral("-200.dat"), "CD 5",
                 {{"Docs", "letter.txt", 1000, packed(2009, 3, 10)},
                  {"Docs", "notes.doc", 1001, packed(2009, 3, 15, 12, 0, 0)},
                  {"\\", ".profile", 0, packed(2010, 12, 31, 23, 59, 58)}});
    writeArchive(catalog + QStringLiteral("older/"), QStringLiteral("300.DAT"), "Backup",
                 {{"Work", "budget.xls", 3000000000LL, packed(1999, 7, 1)},
                  {"Work\\Old", "archive.zip", 52, packed(2001, 2, 3, 4, 5, 6)},
                  {"Photos", "img_0001.JPG", 2500000, packed(2005, 8, 9)}});
}
constexpr int kDefaultRows = 9;

class SearchWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetUnitState();
        catalog = useNewCatalog();
    }
    void TearDown() override { delete window; }

    TfrmSearch *open()
    {
        window = new TfrmSearch;
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }
    template <typename T> T *get(const char *name) { return child<T>(window, name); }
    QAction *action(const char *name) { return get<QAction>(name); }
    QString status() { return get<QLabel>("sbPanel0")->text(); }
    ResultsModel *model() { return window->results(); }
    void go() { action("ActGo")->trigger(); }
    void advanced()
    {
        if (!window->advancedMode())
            action("ActAdvanced")->trigger();
    }
    QStringList column(int c)
    {
        QStringList out;
        for (int r = 0; r < model()->rowCount(); ++r)
            out << model()->cellText(r, c);
        return out;
    }

    QString catalog;
    TfrmSearch *window = nullptr;
};

// A catalog big enough that a search lets pending events run many times.
void writeBigCatalog(const QString &catalog, int archives, int records)
{
    for (int a = 0; a < archives; ++a) {
        QList<Rec> recs;
        for (int k = 0; k < records; ++k)
            recs.append({"Folder\\Sub", "file" + QByteArray::number(k) + ".bin", k, packed(2010, 1, 1)});
        writeArchive(catalog, QString::number(a) + QStringLiteral(".dat"), "Big " + QByteArray::number(a),
                     recs);
    }
}

} // namespace

TEST_F(SearchWindow, StartsIdleWithTheDesignedControlsAndDefaults)
{
    open();
    EXPECT_EQ(window->minimumSize(), QSize(584, 360));
    EXPECT_FALSE(get<QWidget>("pnlAdvanced")->isVisible());
    EXPECT_FALSE(window->advancedMode());
    EXPECT_EQ(get<QLabel>("lblDela")->text(), QStringLiteral("Search"));
    EXPECT_EQ(get<QWidget>("Panel1")->height(), 25);
    EXPECT_EQ(get<QWidget>("Panel1")->palette().color(QPalette::Window), QColor(0, 95, 140));
    EXPECT_TRUE(get<QLineEdit>("edtSearch")->text().isEmpty());

    struct Check
    {
        const char *name;
        const char *caption;
        bool checked;
    };
    for (const Check &c :
         {Check{"chkMarked", "Marks", false}, Check{"chkDir", "Directories", true},
          Check{"chkFile", "File names", true}, Check{"chkType", "File type", true},
          Check{"chkCase", "Case sensitive", false}, Check{"chkDate", "Date modified", false},
          Check{"chkSize", "By file size", false}}) {
        auto *box = get<QCheckBox>(c.name);
        EXPECT_EQ(box->text(), QString::fromLatin1(c.caption)) << c.name;
        EXPECT_EQ(box->isChecked(), c.checked) << c.name;
        EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft) << c.name << " shows its caption left of the box";
    }
    for (const char *name : {"dtpFrom", "dtpTo"}) {
        auto *picker = get<QDateEdit>(name);
        EXPECT_EQ(picker->date(), QDate::currentDate()) << name;
        EXPECT_EQ(picker->displayFormat(), QStringLiteral("dd/MM/yyyy"));
        EXPECT_TRUE(picker->calendarPopup());
        EXPECT_FALSE(picker->isEnabled()) << name;
    }
    EXPECT_EQ(get<QComboBox>("cmbSize")->currentText(), QStringLiteral("at least"));
    EXPECT_EQ(get<QComboBox>("cmbSize")->count(), 2);
    EXPECT_EQ(get<QComboBox>("cmbMultipler")->currentText(), QStringLiteral("KiloBytes"));
    EXPECT_EQ(get<QComboBox>("cmbMultipler")->count(), 4);
    EXPECT_FALSE(get<QComboBox>("cmbSize")->isEditable());
    EXPECT_EQ(get<QSpinBox>("updSize")->maximum(), 32767);
    EXPECT_EQ(get<QSpinBox>("updSize")->value(), 0);
    EXPECT_EQ(get<QLineEdit>("edtSize")->text(), QStringLiteral("0"));
    for (const char *name : {"cmbSize", "updSize", "cmbMultipler"})
        EXPECT_FALSE(get<QWidget>(name)->isEnabled()) << name;

    struct Act
    {
        const char *name;
        const char *hint;
        bool enabled;
    };
    for (const Act &a :
         {Act{"ActGo", "Go", true}, Act{"ActAdvanced", "Switch to Advanced Search", true},
          Act{"ActCopyFile", "Copy File", false}, Act{"ActExecuteFile", "Execute File", false}}) {
        EXPECT_EQ(action(a.name)->toolTip(), QString::fromLatin1(a.hint)) << a.name;
        EXPECT_EQ(action(a.name)->isEnabled(), a.enabled) << a.name;
    }
    EXPECT_FALSE(action("ActPropreties")->isEnabled());
    EXPECT_EQ(get<QToolButton>("btnGo")->defaultAction(), action("ActGo"));
    EXPECT_EQ(get<QToolButton>("btnAdvanced")->defaultAction(), action("ActAdvanced"));
    EXPECT_EQ(get<QToolButton>("btnCopyFile")->defaultAction(), action("ActCopyFile"));
    // btnCopyFile sits at the right end of the top bar, also after a resize.
    window->resize(800, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(get<QToolButton>("btnCopyFile")->geometry().right(), get<QWidget>("Panel1")->width() - 1);

    auto *menu = get<QMenu>("PopupMenu1");
    QStringList items;
    for (QAction *a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : shownText(a->text()));
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("Go"), QStringLiteral("-"), QStringLiteral("Copy File"),
                           QStringLiteral("Execute File"), QStringLiteral("-"), QStringLiteral("Propreties"),
                           QStringLiteral("Explore Folder"), QStringLiteral("Export..."), QStringLiteral("-"),
                           QStringLiteral("Switch to Advanced Search")}));
    EXPECT_EQ(menu->defaultAction(), action("ActCopyFile"));

    auto *list = get<QTreeView>("ListView1");
    EXPECT_EQ(list->model()->columnCount(), 6);
    EXPECT_TRUE(list->uniformRowHeights());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_GE(list->header()->sectionSize(ResultsModel::ColDate), 120);
    EXPECT_GE(list->header()->sectionSize(ResultsModel::ColDate),
              list->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")));
    EXPECT_LE(list->header()->sectionSize(ResultsModel::ColType), 72);
    EXPECT_LE(list->header()->sectionSize(ResultsModel::ColSize), 95);
    EXPECT_EQ(list->focusPolicy(), Qt::ClickFocus) << "an empty list is out of the Tab order";
}

TEST_F(SearchWindow, GoListsEveryRecordAndReportsTheCount)
{
    writeDefaultCatalog(catalog);
    open();
    go();
    EXPECT_FALSE(window->isSearching());
    EXPECT_EQ(model()->rowCount(), kDefaultRows);
    EXPECT_EQ(status(), QStringLiteral("Files: 9"));
    EXPECT_EQ(get<QTreeView>("ListView1")->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(get<QLineEdit>("edtSearch")->hasFocus());

    // Full for a moment after each search, then back to 0.
    auto *bar = get<QProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->value(), 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == 0; }, 2000));

    get<QLineEdit>("edtSearch")->setText(QStringLiteral("nothing-like-this"));
    go();
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(status(), QStringLiteral("There are no results to display."));
    EXPECT_EQ(get<QTreeView>("ListView1")->focusPolicy(), Qt::ClickFocus);

    // A missing catalog folder gives an empty result, not an error.
    MessageLog log;
    gVars().catalogFolder = catalog + QStringLiteral("missing/");
    go();
    EXPECT_EQ(status(), QStringLiteral("There are no results to display."));
    EXPECT_TRUE(log.texts.isEmpty());
}

TEST_F(SearchWindow, SimpleTextAndAdvancedCriteriaReachTheEngine)
{
    writeDefaultCatalog(catalog);
    open();
    auto *text = get<QLineEdit>("edtSearch");
    struct Case
    {
        const char *what;
        std::function<void()> setup;
        int rows;
    };
    const QList<Case> cases = {
        {"simple, any case", [&] { text->setText(QStringLiteral("*.mp3")); }, 2},
        {"simple, folder and name", [&] { text->setText(QStringLiteral("rock")); }, 1},
        {"advanced, only types",
         [&] {
             advanced();
             text->setText(QStringLiteral(".mp3"));
             get<QCheckBox>("chkDir")->setChecked(false);
             get<QCheckBox>("chkFile")->setChecked(false);
         },
         2},
        {"advanced, only types, case sensitive", [&] { get<QCheckBox>("chkCase")->setChecked(true); }, 1},
        {"advanced, marks",
         [&] {
             get<QCheckBox>("chkCase")->setChecked(false);
             get<QCheckBox>("chkMarked")->setChecked(true);
             text->setText(QStringLiteral("cd 5"));
         },
         3},
        {"advanced, dates in either order",
         [&] {
             get<QCheckBox>("chkMarked")->setChecked(false);
             text->clear();
             get<QDateEdit>("dtpFrom")->setDate(QDate(2009, 3, 15));
             get<QDateEdit>("dtpTo")->setDate(QDate(2009, 3, 10));
             QTest::mouseClick(get<QCheckBox>("chkDate"), Qt::LeftButton);
         },
         2},
        {"advanced, at most 1 KiloBytes",
         [&] {
             QTest::mouseClick(get<QCheckBox>("chkDate"), Qt::LeftButton);
             QTest::mouseClick(get<QCheckBox>("chkSize"), Qt::LeftButton);
             get<QComboBox>("cmbSize")->setCurrentIndex(1);
             get<QSpinBox>("updSize")->setValue(1);
         },
         4},
        {"advanced, at least 2 MegaBytes",
         [&] {
             get<QComboBox>("cmbSize")->setCurrentIndex(0);
             get<QSpinBox>("updSize")->setValue(2);
             get<QComboBox>("cmbMultipler")->setCurrentIndex(2);
         },
         3},
        {"back to simple: size no longer counts", [&] { action("ActAdvanced")->trigger(); }, kDefaultRows},
    };
    for (const Case &c : cases) {
        c.setup();
        go();
        EXPECT_EQ(model()->rowCount(), c.rows) << c.what;
    }
    EXPECT_TRUE(get<QComboBox>("cmbSize")->isEnabled()) << "the panel keeps its state while hidden";
}

TEST_F(SearchWindow, MatchModesAccentsAndTheirPreferencesReachTheEngine)
{
    writeDefaultCatalog(catalog);
    writeArchive(catalog, QStringLiteral("400.dat"), "CD 7",
                 {{"\\Music", "The Beatles - Help!.mp3", 1, packed(2008, 1, 1)},
                  {"\\\xc3\x89" "cole", "live at leeds.mp3", 1, packed(2008, 1, 1)}});
    open();
    auto *text = get<QLineEdit>("edtSearch");
    const auto rowsFor = [&](const char *typed) {
        text->setText(QString::fromUtf8(typed));
        go();
        return model()->rowCount();
    };
    // The simple search does what the Preferences say, read at each search.
    EXPECT_EQ(rowsFor("beatles help"), 0);
    settings::set(settings::SearchAllWords, true);
    EXPECT_EQ(rowsFor("beatles help"), 1);
    EXPECT_EQ(rowsFor("ecole"), 0);
    settings::set(settings::SearchIgnoreAccents, true);
    EXPECT_EQ(rowsFor("ecole -beatles"), 1);
    settings::remove(settings::SearchAllWords);
    settings::remove(settings::SearchIgnoreAccents);

    advanced();
    auto *match = get<QComboBox>("cmbMatch");
    auto *accents = get<QCheckBox>("chkAccents");
    EXPECT_EQ(match->currentText(), QStringLiteral("Phrase"));
    EXPECT_EQ(match->count(), 5);
    EXPECT_EQ(get<QLabel>("lblMatch")->buddy(), match);
    EXPECT_EQ(accents->text(), QStringLiteral("Ignore accents"));
    EXPECT_FALSE(accents->isChecked());
    match->setCurrentText(QStringLiteral("Regular expression"));
    EXPECT_EQ(rowsFor("^track\\d+"), 1);
    EXPECT_EQ(rowsFor("^\\\\ecole$"), 0);
    QTest::mouseClick(accents, Qt::LeftButton);
    EXPECT_EQ(rowsFor("^\\\\ecole$"), 1);

    // A bad expression is named under the search line and nothing is searched.
    auto *problem = get<QLabel>("lblTextProblem");
    EXPECT_FALSE(problem->isVisible());
    EXPECT_EQ(rowsFor("(track"), 1) << "the rows of the last search stay";
    EXPECT_TRUE(problem->isVisible());
    EXPECT_EQ(problem->text(),
              QStringLiteral("Bad regular expression at column 7: missing closing parenthesis"));
    text->setText(QStringLiteral("track"));
    EXPECT_FALSE(problem->isVisible());

    // Both choices outlive the window, as the other unit state does.
    delete window;
    open();
    EXPECT_EQ(get<QComboBox>("cmbMatch")->currentText(), QStringLiteral("Regular expression"));
    EXPECT_TRUE(get<QCheckBox>("chkAccents")->isChecked());
}

TEST_F(SearchWindow, AdvancedSwitchFollowsTheModeEverywhere)
{
    open();
    auto *act = action("ActAdvanced");
    auto *panel = get<QWidget>("pnlAdvanced");
    for (int round = 0; round < 2; ++round) {
        act->trigger();
        EXPECT_TRUE(window->advancedMode());
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(act->toolTip(), QStringLiteral("Switch to Simple Search"));
        EXPECT_EQ(shownText(act->text()), QStringLiteral("Switch to Simple Search"));
        act->trigger();
        EXPECT_FALSE(window->advancedMode());
        EXPECT_FALSE(panel->isVisible());
        EXPECT_EQ(act->toolTip(), QStringLiteral("Switch to Advanced Search"));
        EXPECT_EQ(shownText(act->text()), QStringLiteral("Switch to Advanced Search"));
    }
}

TEST_F(SearchWindow, KeyboardTable)
{
    writeDefaultCatalog(catalog);
    open();
    auto *edit = get<QLineEdit>("edtSearch");

    // F3 anywhere and Alt+Down in the search box switch the mode; Down alone does not.
    QTest::keyClick(edit, Qt::Key_F3);
    EXPECT_TRUE(window->advancedMode());
    QTest::keyClick(get<QCheckBox>("chkCase"), Qt::Key_F3);
    EXPECT_FALSE(window->advancedMode());
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(window->advancedMode());
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_TRUE(window->advancedMode());
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(window->advancedMode());

    // Enter in each of these controls runs Go. The criteria are made to let every record pass.
    advanced();
    get<QDateEdit>("dtpFrom")->setDate(QDate(1980, 1, 1));
    QTest::mouseClick(get<QCheckBox>("chkDate"), Qt::LeftButton);
    QTest::mouseClick(get<QCheckBox>("chkSize"), Qt::LeftButton);
    for (const char *name : {"edtSearch", "chkCase", "chkMarked", "chkFile", "chkDir", "chkType", "chkDate",
                             "dtpFrom", "dtpTo", "chkSize", "edtSize", "cmbSize", "cmbMultipler"}) {
        window->results()->clear();
        get<QLabel>("sbPanel0")->clear();
        auto *control = get<QWidget>(name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
        EXPECT_EQ(status(), QStringLiteral("Files: 9")) << name;
    }
    // Enter in the list or the size box's buttons does nothing of the kind.
    window->results()->clear();
    get<QLabel>("sbPanel0")->clear();
    QTest::keyClick(get<QWidget>("ListView1"), Qt::Key_Return);
    EXPECT_TRUE(status().isEmpty());

    // Nothing can be typed into the two lists.
    auto *sizeBox = get<QComboBox>("cmbSize");
    auto *unitBox = get<QComboBox>("cmbMultipler");
    QTest::keyClicks(sizeBox, QStringLiteral("a"));
    QTest::keyClicks(unitBox, QStringLiteral("gmb"));
    EXPECT_EQ(sizeBox->currentText(), QStringLiteral("at least"));
    EXPECT_EQ(unitBox->currentText(), QStringLiteral("KiloBytes"));

    // Leaving the size box rewrites it with thousands separators.
    auto *spin = get<QSpinBox>("updSize");
    spin->setValue(12345);
    get<QLineEdit>("edtSize")->setText(QStringLiteral("12345"));
    edit->setFocus();
    emit spin->editingFinished();
    EXPECT_EQ(get<QLineEdit>("edtSize")->text(), FormatGroupedNumber(12345));

    // Esc closes the window when it is released, and only after a press in this window: the
    // release of an Esc that closed another window does not count.
    QTest::keyRelease(edit, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    QTest::keyRelease(edit, Qt::Key_F3);
    EXPECT_TRUE(window->advancedMode()) << "a stray F3 release switches nothing";
    QTest::keyPress(edit, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    QTest::keyRelease(edit, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
}

TEST_F(SearchWindow, SearchingStateAndCancel)
{
    writeBigCatalog(catalog, 30, 700);
    const int total = 30 * 700;
    open();
    bool seen = false;
    QTimer probe;
    // Once the first archive's rows are handed out (the progress bar steps after each archive),
    // however slow the workers are: before that there are no rows to keep.
    auto *bar = get<QProgressBar>("ProgressBar1");
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (seen || status() != QStringLiteral("Searching...") || bar->value() == 0)
            return;
        seen = true;
        EXPECT_TRUE(window->isSearching());
        EXPECT_FALSE(get<QWidget>("ListView1")->isEnabled());
        EXPECT_FALSE(get<QWidget>("pnlAdvanced")->isEnabled());
        // Only the mode button is off: F3 still switches the mode, for the records still to come.
        EXPECT_FALSE(get<QToolButton>("btnAdvanced")->isEnabled());
        EXPECT_TRUE(action("ActAdvanced")->isEnabled());
        QTest::keyClick(get<QLineEdit>("edtSearch"), Qt::Key_F3);
        EXPECT_TRUE(searchUnitState().criteria.AdvancedMode);
        EXPECT_FALSE(get<QToolButton>("btnAdvanced")->isEnabled()) << "the switch leaves the button off";
        EXPECT_FALSE(action("ActCopyFile")->isEnabled());
        EXPECT_TRUE(action("ActGo")->isEnabled());
        EXPECT_EQ(action("ActGo")->toolTip(), QStringLiteral("Cancel"));
        EXPECT_TRUE(get<QLineEdit>("edtSearch")->isEnabled());
        // Go during a search only asks it to stop; no second search starts inside it.
        action("ActGo")->trigger();
    });
    probe.start(0);
    go();
    probe.stop();
    ASSERT_TRUE(seen);
    EXPECT_FALSE(window->isSearching());
    EXPECT_TRUE(searchUnitState().CancelRequested);
    EXPECT_GT(model()->rowCount(), 0) << "the rows found so far are kept";
    EXPECT_LT(model()->rowCount(), total);
    EXPECT_TRUE(get<QWidget>("ListView1")->isEnabled());
    EXPECT_TRUE(get<QWidget>("pnlAdvanced")->isEnabled());
    EXPECT_TRUE(get<QToolButton>("btnAdvanced")->isEnabled());
    EXPECT_EQ(action("ActAdvanced")->toolTip(), QStringLiteral("Switch to Simple Search"));
    EXPECT_EQ(action("ActGo")->toolTip(), QStringLiteral("Go"));
    EXPECT_EQ(status(), QStringLiteral("Files: ") + QString::number(model()->rowCount()) +
                            QStringLiteral(" (search cancelled)"));

    // The next Go starts afresh and runs to the end.
    go();
    EXPECT_EQ(model()->rowCount(), total);
    EXPECT_EQ(status(), QStringLiteral("Files: ") + QString::number(total));
    EXPECT_FALSE(searchUnitState().CancelRequested);
}

TEST_F(SearchWindow, EscDuringASearchCancelsItAndClosesTheWindow)
{
    writeBigCatalog(catalog, 30, 700);
    open();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (status() == QStringLiteral("Searching...") && window->isVisible())
            QTest::keyClick(get<QLineEdit>("edtSearch"), Qt::Key_Escape);
    });
    probe.start(0);
    go();
    probe.stop();
    EXPECT_FALSE(window->isVisible());
    EXPECT_LT(model()->rowCount(), 30 * 700);
}

TEST_F(SearchWindow, SingleArchiveModeSearchesAtOnceAndOnEveryActivation)
{
    writeDefaultCatalog(catalog);
    bool checked = false;
    whenShown(
        [] {
            return TfrmSearch::instance() && TfrmSearch::instance()->isVisible() &&
                   TfrmSearch::instance()->results()->rowCount() > 0 &&
                   !TfrmSearch::instance()->isSearching();
        },
        [&] {
            TfrmSearch *w = TfrmSearch::instance();
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Ambrylog (search only CD 5 archive)"));
            EXPECT_FALSE(child<QCheckBox>(w, "chkMarked")->isEnabled());
            EXPECT_EQ(w->results()->rowCount(), 3);
            for (int r = 0; r < w->results()->rowCount(); ++r)
                EXPECT_EQ(w->results()->mark(r), QStringLiteral("CD 5"));

            // Coming back from another window of the program searches again.
            QSignalSpy resets(w->results(), &QAbstractItemModel::modelReset);
            QDialog other;
            other.show();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
            other.close();
            w->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(w));
            ASSERT_TRUE(QTest::qWaitFor([&] { return resets.count() > 0 && !w->isSearching(); }, 3000));
            EXPECT_EQ(w->results()->rowCount(), 3);
            checked = true;
            w->close();
        });
    ShowSearchWindow(QStringLiteral("CD 5"));
    EXPECT_TRUE(checked);
    EXPECT_EQ(TfrmSearch::instance(), nullptr) << "the window is destroyed after it closes";
}

TEST_F(SearchWindow, AllArchivesCaptionAndNoSearchUntilGo)
{
    writeDefaultCatalog(catalog);
    bool checked = false;
    whenShown([] { return TfrmSearch::instance() && TfrmSearch::instance()->isActiveWindow(); },
              [&] {
                  TfrmSearch *w = TfrmSearch::instance();
                  ASSERT_NE(w, nullptr);
                  QCoreApplication::processEvents();
                  EXPECT_EQ(w->windowTitle(), QStringLiteral("Ambrylog (search all archives)"));
                  EXPECT_TRUE(child<QCheckBox>(w, "chkMarked")->isEnabled());
                  EXPECT_EQ(w->results()->rowCount(), 0);
                  // A second opening while the window exists shows nothing more.
                  EXPECT_EQ(ShowSearchWindow(QString()), 0);
                  checked = true;
                  w->close();
              });
    ShowSearchWindow(QString());
    EXPECT_TRUE(checked);
}

// Text columns sort by the user's collation; a user's locale, not the bare C locale of a test run.
struct UserLocale
{
    UserLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~UserLocale() { QLocale::setDefault(QLocale::system()); }
};

TEST_F(SearchWindow, SortingByEveryColumnWithTheFirstClickDirections)
{
    UserLocale locale;
    writeDefaultCatalog(catalog);
    open();
    go();
    ASSERT_EQ(model()->rowCount(), kDefaultRows);
    const auto click = [&](int c) {
        QHeaderView *header = get<QTreeView>("ListView1")->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(c) + 5, header->height() / 2));
    };
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto textOrder = [&](int c, bool ascending) {
        const QStringList texts = column(c);
        for (int r = 1; r < texts.size(); ++r) {
            const int cmp = collator.compare(texts[r - 1], texts[r]);
            if (ascending ? cmp > 0 : cmp < 0)
                return false;
        }
        return true;
    };
    const auto sizeOrder = [&](bool largestFirst) {
        for (int r = 1; r < model()->rowCount(); ++r) {
            const qint64 a = model()->size(r - 1), b = model()->size(r);
            if (largestFirst ? a < b : a > b)
                return false;
        }
        return true;
    };
    const auto dateOrder = [&](bool oldestFirst) {
        for (int r = 1; r < model()->rowCount(); ++r) {
            const QDateTime a = model()->dateModified(r - 1), b = model()->dateModified(r);
            if (oldestFirst ? a > b : a < b)
                return false;
        }
        return true;
    };
    struct Step
    {
        int column;
        bool flag; // SortAscending after the click
        std::function<bool()> ordered;
        QString first; // the first row's cell text in that column
    };
    const QList<Step> steps = {
        {ResultsModel::ColDirectory, false, [&] { return textOrder(1, false); }, QStringLiteral("Work\\Old")},
        {ResultsModel::ColDirectory, true, [&] { return textOrder(1, true); }, QStringLiteral("\\")},
        {ResultsModel::ColFile, true, [&] { return textOrder(2, true); }, QStringLiteral(".profile")},
        {ResultsModel::ColFile, false, [&] { return textOrder(2, false); }, QStringLiteral("track01.mp3")},
        {ResultsModel::ColSize, false, [&] { return sizeOrder(false); }, QStringLiteral("0")},
        {ResultsModel::ColSize, true, [&] { return sizeOrder(true); }, FormatGroupedNumber(3000000000LL)},
        {ResultsModel::ColDate, true, [&] { return dateOrder(true); }, QString()},
        {ResultsModel::ColDate, false, [&] { return dateOrder(false); }, QString()},
        {ResultsModel::ColArchive, false, [&] { return textOrder(0, false); }, QStringLiteral("CD 5")},
        {ResultsModel::ColArchive, true, [&] { return textOrder(0, true); }, QStringLiteral("Backup")},
        {ResultsModel::ColType, true, [&] { return textOrder(3, true); }, QString()},
        {ResultsModel::ColType, false, [&] { return textOrder(3, false); }, QStringLiteral("zip")},
    };
    for (const Step &s : steps) {
        click(s.column);
        EXPECT_EQ(searchUnitState().SortColumn, s.column);
        EXPECT_EQ(searchUnitState().SortAscending, s.flag) << "column " << s.column;
        EXPECT_TRUE(s.ordered()) << "column " << s.column << " flag " << s.flag;
        // The header's arrow points the way the rows run (sizes: largest first with the flag).
        const QHeaderView *header = get<QTreeView>("ListView1")->header();
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), s.column);
        const bool upward = s.column == ResultsModel::ColSize ? !s.flag : s.flag;
        EXPECT_EQ(header->sortIndicatorOrder(), upward ? Qt::AscendingOrder : Qt::DescendingOrder);
        if (!s.first.isEmpty()) {
            EXPECT_EQ(model()->cellText(0, s.column), s.first) << "column " << s.column;
        }
    }
    // Dates sort as moments, not as "dd/mm/yyyy" texts: the flag stays false, newest first.
    click(ResultsModel::ColDate);
    EXPECT_EQ(model()->dateModified(0).date(), QDate(2010, 12, 31));
    EXPECT_EQ(model()->dateModified(model()->rowCount() - 1).date(), QDate(1999, 7, 1));

    // The sort state outlives the window.
    delete window;
    window = nullptr;
    open();
    go();
    EXPECT_FALSE(get<QTreeView>("ListView1")->header()->isSortIndicatorShown()) << "new rows, not sorted yet";
    EXPECT_EQ(searchUnitState().SortColumn, ResultsModel::ColDate);
    click(ResultsModel::ColDate);
    EXPECT_TRUE(searchUnitState().SortAscending);
    EXPECT_TRUE(dateOrder(true));
}

TEST_F(SearchWindow, FirstClicksOfAFreshRun)
{
    UserLocale locale;
    writeDefaultCatalog(catalog);
    open();
    go();
    QHeaderView *header = get<QTreeView>("ListView1")->header();
    struct Case
    {
        int column;
        QString first;
    };
    // "Directory" sorts Z to A, "File" A to Z, "Size" the largest first.
    for (const Case &c : {Case{ResultsModel::ColDirectory, QStringLiteral("Work\\Old")},
                          Case{ResultsModel::ColFile, QStringLiteral(".profile")},
                          Case{ResultsModel::ColSize, FormatGroupedNumber(3000000000LL)}}) {
        resetUnitState();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(c.column) + 5, header->height() / 2));
        EXPECT_EQ(model()->cellText(0, c.column), c.first) << c.column;
    }
}

TEST_F(SearchWindow, KeyStateEnablesTheFileCommandsForOneRowInTheFocusedList)
{
    writeDefaultCatalog(catalog);
    open();
    go();
    auto *list = get<QTreeView>("ListView1");
    auto *edit = get<QLineEdit>("edtSearch");
    const auto commands = [&] {
        const bool copy = action("ActCopyFile")->isEnabled();
        EXPECT_EQ(action("ActExecuteFile")->isEnabled(), copy);
        EXPECT_EQ(action("ActPropreties")->isEnabled(), copy);
        EXPECT_EQ(get<QToolButton>("btnCopyFile")->isEnabled(), copy);
        return copy;
    };
    EXPECT_FALSE(commands());
    list->setFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(commands()) << "focused list without a selected row";
    list->setCurrentIndex(model()->index(2, 0));
    EXPECT_TRUE(commands());
    edit->setFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(commands()) << "selected row, but the focus is elsewhere";
    list->setFocus();
    QCoreApplication::processEvents();
    EXPECT_TRUE(commands());
    list->clearSelection();
    EXPECT_FALSE(commands());
    // A click on a row selects it and enables the commands.
    const QRect rect = list->visualRect(model()->index(1, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_TRUE(commands());
    // A new search takes the rows and the commands away.
    go();
    EXPECT_FALSE(commands());

    // A disabled command does nothing from any source.
    MessageLog log;
    action("ActCopyFile")->trigger();
    action("ActPropreties")->trigger();
    EXPECT_EQ(TfrmPropreties::instance(), nullptr);
    EXPECT_TRUE(log.texts.isEmpty());
}

TEST_F(SearchWindow, DoubleClickOnTheFocusedRowShowsItsProperties)
{
    writeDefaultCatalog(catalog);
    open();
    go();
    auto *list = get<QTreeView>("ListView1");
    list->setFocus();
    const QRect rect = list->visualRect(model()->index(0, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QString shownFile;
    whenShown([] { return TfrmPropreties::instance() && TfrmPropreties::instance()->isVisible(); },
              [&] {
                  TfrmPropreties *p = TfrmPropreties::instance();
                  ASSERT_NE(p, nullptr);
                  shownFile = child<QLabel>(p, "lblFile")->text();
                  p->close();
              });
    QTest::mouseMove(list->viewport(), rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(shownFile, model()->cellText(0, ResultsModel::ColFile));
    EXPECT_EQ(TfrmPropreties::instance(), nullptr);
}

TEST_F(SearchWindow, PlacementIsRestoredAndSaved)
{
    const auto put = [](const char *suffix, const QString &value) {
        WriteSetting(RegKey::Wp, QStringLiteral("frmSearch") + QLatin1String(suffix), value);
    };
    const auto read = [](const char *suffix) {
        return ReadSetting(RegKey::Wp, QStringLiteral("frmSearch") + QLatin1String(suffix));
    };
    put("-l", QStringLiteral("40"));
    put("-t", QStringLiteral("30"));
    put("-w", QStringLiteral("700"));
    put("-h", QStringLiteral("480"));
    {
        TfrmSearch w;
        EXPECT_EQ(w.pos(), QPoint(40, 30));
        EXPECT_EQ(w.size(), QSize(700, 480));
    }
    // A bad width keeps the design size but the edges already applied.
    put("-w", QStringLiteral("wide"));
    {
        TfrmSearch w;
        EXPECT_EQ(w.pos(), QPoint(40, 30));
        EXPECT_EQ(w.size(), QSize(584, 360));
    }
    // A window far off the screen comes back to it.
    put("-l", QStringLiteral("-5000"));
    put("-w", QStringLiteral("600"));
    {
        TfrmSearch w;
        EXPECT_EQ(w.x(), 0);
    }
    // Moving or resizing the window stores where it is.
    open();
    window->move(77, 66);
    window->resize(650, 420);
    ASSERT_TRUE(QTest::qWaitFor([&] { return read("-w") == QStringLiteral("650"); }, 2000));
    EXPECT_EQ(read("-l"), QString::number(window->x()));
    EXPECT_EQ(read("-t"), QString::number(window->y()));
    EXPECT_EQ(read("-h"), QStringLiteral("420"));
    EXPECT_TRUE(read("-m").isEmpty());
    window->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return read("-m") == QStringLiteral("T"); }, 2000));
    EXPECT_EQ(read("-w"), QStringLiteral("650")) << "maximising keeps the normal placement";
}

TEST_F(SearchWindow, DamagedArchivesAreToldAfterTheSearchHasEnded)
{
    writeDefaultCatalog(catalog);
    ambrytest::writeFile(catalog + QStringLiteral("bad.dat"),
                         "\\\r\nx.txt\r\n1\r\n1\r\nAMark=Bad\r\nAFiles=lots\r\n");
    QStringList texts;
    bool searchingWhenTold = true;
    setMessageBoxHandler([&](MsgKind, const QString &text) {
        texts << text;
        searchingWhenTold = window->isSearching();
        return MsgAnswer::Ok;
    });
    open();
    go();
    EXPECT_EQ(model()->rowCount(), kDefaultRows + 1)
        << "every archive is searched, the damaged one's whole record too";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !texts.isEmpty(); }, 2000));
    EXPECT_TRUE(texts.first().contains(QStringLiteral("bad.dat")));
    EXPECT_FALSE(searchingWhenTold) << "Go pressed while the box is open must start a new search";
    // F5 runs the search again: no second box, the status line keeps count.
    QTest::keyClick(get<QLineEdit>("edtSearch"), Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !window->isSearching() && status().startsWith(QStringLiteral("Files")); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(texts.size(), 1) << "the same damaged archive is not told twice: "
                               << texts.join(QStringLiteral(" / ")).toStdString();
    auto *damaged = get<QLabel>("lblDamaged");
    EXPECT_TRUE(damaged->isVisible());
    EXPECT_TRUE(damaged->text().contains(QStringLiteral("1 damaged archive")));
    emit damaged->linkActivated(QStringLiteral("#"));
    ASSERT_EQ(texts.size(), 2) << "the count opens the list";
    EXPECT_TRUE(texts.last().contains(QStringLiteral("bad.dat")));
    setMessageBoxHandler(nullptr);
}

TEST_F(SearchWindow, SingleArchiveModeDoesNotRepeatTheSameNoticeOnEveryActivation)
{
    writeDefaultCatalog(catalog);
    ambrytest::writeFile(catalog + QStringLiteral("bad.dat"),
                         "\\\r\nx.txt\r\n1\r\n1\r\nAMark=CD 5\r\nAFiles=lots\r\n");
    MessageLog log;
    int searches = 0;
    whenShown(
        [] {
            return TfrmSearch::instance() && TfrmSearch::instance()->isVisible() &&
                   TfrmSearch::instance()->results()->rowCount() > 0 &&
                   !TfrmSearch::instance()->isSearching();
        },
        [&] {
            TfrmSearch *w = TfrmSearch::instance();
            ASSERT_NE(w, nullptr);
            QSignalSpy resets(w->results(), &QAbstractItemModel::modelReset);
            for (int round = 0; round < 2; ++round) {
                // What closing a message box does: another window of the program, then back.
                QDialog box;
                box.show();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
                box.close();
                w->activateWindow();
                ASSERT_TRUE(
                    QTest::qWaitFor([&] { return resets.count() > round && !w->isSearching(); }, 3000));
            }
            searches = int(resets.count());
            w->close();
        });
    ShowSearchWindow(QStringLiteral("CD 5"));
    EXPECT_GE(searches, 2);
    ASSERT_EQ(log.texts.size(), 1) << "told after the first search only";
    EXPECT_TRUE(log.texts.first().contains(QStringLiteral("bad.dat")));
}

TEST_F(SearchWindow, ExportWritesEveryRowToTheFileChosen)
{
    writeDefaultCatalog(catalog);
    open();
    go();
    const QString file = ambrytest::makeTempDir(QStringLiteral("export")) + QStringLiteral("/found.csv");
    QString proposed;
    setExportFileChooserForTesting([&](const QString &p) {
        proposed = p;
        return file;
    });
    action("ActExport")->trigger();
    setExportFileChooserForTesting({});
    EXPECT_TRUE(proposed.endsWith(QStringLiteral("/search.csv")));
    const QList<QByteArray> lines = ambrytest::readFile(file).split('\n');
    ASSERT_EQ(lines.size(), kDefaultRows + 2); // the header, the rows, the empty end
    EXPECT_EQ(lines.first(), "Archive,Directory,File,Type,Date Modified,Size\r");
}
