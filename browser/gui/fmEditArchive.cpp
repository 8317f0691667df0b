#include "fmEditArchive.h"

#include "browser/ArchiveCommands.h"
#include "catalog/ProgramCatalog.h"
#include "search/gui/SearchLook.h"
#include "util/AmbryError.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {

TfrmEditArchive *s_window = nullptr;

} // namespace

TfrmEditArchive::TfrmEditArchive(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    s_window = this;
    m_releaseRule = new KeyReleaseRule(this);
    setObjectName(QStringLiteral("frmEditArchive"));
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::applyLightPalette(this);
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, searchlook::advancedPanelColor());
        setPalette(pal);
    }
    look::setDialogFrame(this);
    setFixedSize(444, 196);

    Panel2 = look::makeBand(this, QStringLiteral("Panel2"));
    Panel2->setFixedHeight(look::BandHeight);
    Panel2->setGeometry(0, 0, 444, 25);
    lblDela = look::makeHeading(Panel2, QStringLiteral("lblDela"), QStringLiteral("Edit archive"));

    const auto field = [this](const char *editName, const char *labelName, const char *caption, int top,
                              QLabel **label) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setMaxLength(browser::edit::MaxLength);
        edit->setGeometry(96, top, 330, 23);
        *label = new QLabel(QString::fromLatin1(caption), this);
        (*label)->setObjectName(QString::fromLatin1(labelName));
        (*label)->setBuddy(edit);
        (*label)->setGeometry(18, top, 74, 23);
        edit->setAccessibleName(QString::fromLatin1(caption));
        return edit;
    };
    edtMark = field("edtMark", "lblMark", "Mark", 48, &lblMark);
    edtLocation = field("edtLocation", "lblLocation", "Location", 84, &lblLocation);
    edtNote = field("edtNote", "lblNote", "Note", 120, &lblNote);

    Panel1 = look::makeBand(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(look::BandHeight);
    Panel1->setGeometry(0, 196 - 25, 444, 25);
    const auto button = [this](const char *name, const char *text, int left) {
        auto *b = new QPushButton(QString::fromLatin1(text), Panel1);
        b->setObjectName(QString::fromLatin1(name));
        // Neither is the default button: Enter in a field moves the focus instead.
        b->setAutoDefault(false);
        b->setDefault(false);
        QPalette bp = b->palette();
        bp.setColor(QPalette::ButtonText, Qt::black);
        b->setPalette(bp);
        b->setGeometry(left, 2, 59, 22);
        return b;
    };
    btnOk = button("btnOk", "OK", 444 - 2 * 59 - 8);
    btnCancel = button("btnCancel", "Cancel", 444 - 59 - 4);

    setTabOrder(edtMark, edtLocation);
    setTabOrder(edtLocation, edtNote);
    setTabOrder(edtNote, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(edtMark, &QLineEdit::textChanged, this, &TfrmEditArchive::edtMarkChange);
    connect(btnOk, &QPushButton::clicked, this, &TfrmEditArchive::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditArchive::btnCancelClick);
    installEnterMovesFocus(this);
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    edtMarkChange();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

TfrmEditArchive::~TfrmEditArchive()
{
    if (s_window == this)
        s_window = nullptr;
}

TfrmEditArchive *TfrmEditArchive::instance()
{
    return s_window;
}

void TfrmEditArchive::setFields(const QString &mark, const QString &location, const QString &note)
{
    edtMark->setText(mark);
    edtLocation->setText(location);
    edtNote->setText(note);
}

QString TfrmEditArchive::mark() const
{
    return edtMark->text();
}

QString TfrmEditArchive::location() const
{
    return edtLocation->text();
}

QString TfrmEditArchive::note() const
{
    return edtNote->text();
}

void TfrmEditArchive::FormActivate()
{
    setWindowTitle(QStringLiteral("Ambrylog"));
    if (!m_activated) {
        m_activated = true;
        m_startingMark = edtMark->text();
    }
}

void TfrmEditArchive::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    // The first showing counts as an activation even where the window manager does not hand
    // the new window the focus.
    if (!e->spontaneous())
        FormActivate();
    edtMark->setFocus();
}

bool TfrmEditArchive::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

void TfrmEditArchive::edtMarkChange()
{
    btnOk->setEnabled(browser::edit::okEnabled(edtMark->text()));
}

void TfrmEditArchive::btnOkClick()
{
    if (!btnOk->isEnabled())
        return;
    try {
        const browser::edit::MarkCheck check =
            browser::edit::checkMark(edtMark->text(), m_startingMark, catalog::programCatalog());
        if (check == browser::edit::MarkCheck::Exists) {
            showMessage(browser::edit::MarkExistsText, this);
            edtMark->setFocus();
            return;
        }
    } catch (const AmbryError &e) {
        showError(e.message(), this);
        edtMark->setFocus();
        return;
    }
    done(QDialog::Accepted);
}

void TfrmEditArchive::btnCancelClick()
{
    done(QDialog::Rejected);
}

void TfrmEditArchive::keyPressEvent(QKeyEvent *e)
{
    // Esc cancels on its release (see eventFilter), not here.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool TfrmEditArchive::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(e);
        const auto *target = qobject_cast<QWidget *>(watched);
        if (key->key() == Qt::Key_Escape && target && target->window() == this) {
            // A release counts only after a press here: the Esc that closed a message box
            // must not cancel this window too.
            if (e->type() == QEvent::KeyRelease && m_releaseRule->accepts(key))
                btnCancelClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}
