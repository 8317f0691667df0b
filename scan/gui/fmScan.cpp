#include "fmScan.h"

#include "catalog/ProgramCatalog.h"
#include "drives/HostageFile.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"
#include "util/gUtils.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

TfrmScan *g_openWindow = nullptr;

const int kMaxFieldLength = 255;

// Restores the normal cursor however the walk ends.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

AddDiscResult runSession(TfrmScan *frm)
{
    AddDiscResult result;
    result.modalResult = frm->exec() == QDialog::Accepted ? ModalResult::Ok : ModalResult::Cancel;
    result.outcome = frm->session().outcome();
    result.savedPath = frm->session().savedPath();
    delete frm;
    processPendingEvents();
    return result;
}

} // namespace

AddDiscResult RunAddDiscSession()
{
    if (g_openWindow)
        return {};
    return runSession(new TfrmScan);
}

AddDiscResult RunAddImageSession(const QString &imagePath)
{
    if (g_openWindow)
        return {};
    return runSession(new TfrmScan(AddDiscSession::forImage(imagePath, catalog::programCatalog())));
}

TfrmScan *TfrmScan::openWindow()
{
    return g_openWindow;
}

TfrmScan::TfrmScan(QWidget *parent)
    : TfrmScan(AddDiscSession(gVars().readDeviceLetter, catalog::programCatalog(), settingsHostageFile()),
               parent)
{}

TfrmScan::TfrmScan(AddDiscSession session, QWidget *parent)
    : QDialog(parent), m_session(std::make_unique<AddDiscSession>(std::move(session)))
{
    if (!g_openWindow)
        g_openWindow = this;
    setObjectName(QStringLiteral("frmScan"));
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::setDialogFrame(this);
    setFixedSize(460, 300);

    look::applyLightPalette(this);
    Panel1 = look::makeTopBand(this, QStringLiteral("Panel1"), QStringLiteral("Label2"),
                               QStringLiteral("Scanning and enter data"), look::BandBlue, &Label2);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setAlignment(Qt::AlignCenter);
    lblMsg->setWordWrap(true);
    lblMsg->setTextFormat(Qt::PlainText);
    QFont msgFont = lblMsg->font();
    msgFont.setBold(true);
    lblMsg->setFont(msgFont);
    lblMsg->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    pnlProgress = new QWidget(this);
    pnlProgress->setObjectName(QStringLiteral("pnlProgress"));
    ProgressBar1 = new QProgressBar(pnlProgress);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    lblCounts = new QLabel(pnlProgress);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    lblCounts->setAlignment(Qt::AlignCenter);
    auto *progressLayout = new QVBoxLayout(pnlProgress);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(ProgressBar1);
    progressLayout->addWidget(lblCounts);
    pnlProgress->hide();

    pnlEdit = new QWidget(this);
    pnlEdit->setObjectName(QStringLiteral("pnlEdit"));
    auto *editLayout = new QGridLayout(pnlEdit);
    editLayout->setContentsMargins(0, 0, 0, 0);
    auto addField = [&](int row, const QString &caption, const QString &name) {
        auto *label = new QLabel(caption, pnlEdit);
        auto *edit = new QLineEdit(pnlEdit);
        edit->setObjectName(name);
        edit->setMaxLength(kMaxFieldLength);
        edit->installEventFilter(this);
        label->setBuddy(edit);
        edit->setAccessibleName(caption);
        editLayout->addWidget(label, row, 0);
        editLayout->addWidget(edit, row, 1);
        return edit;
    };
    edtMark = addField(0, QStringLiteral("Mark"), QStringLiteral("edtMark"));
    edtLocation = addField(1, QStringLiteral("Location"), QStringLiteral("edtLocation"));
    edtNote = addField(2, QStringLiteral("Note"), QStringLiteral("edtNote"));
    pnlEdit->hide();

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnOk, btnCancel})
        b->setAutoDefault(false); // Enter in the edits moves the focus instead
    Panel2 = look::makeButtonBand(this, QStringLiteral("Panel2"), {btnOk, btnCancel});

    auto *body = new QVBoxLayout;
    body->setContentsMargins(16, 8, 16, 12);
    body->addWidget(lblMsg, 1);
    body->addWidget(pnlProgress);
    body->addWidget(pnlEdit);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(Panel1);
    outer->addLayout(body, 1);
    outer->addWidget(Panel2);

    setTabOrder(edtMark, edtLocation);
    setTabOrder(edtLocation, edtNote);
    setTabOrder(edtNote, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(btnOk, &QPushButton::clicked, this, &TfrmScan::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmScan::btnCancelClick);
    connect(edtMark, &QLineEdit::textChanged, this, &TfrmScan::edtMarkChange);
}

TfrmScan::~TfrmScan()
{
    if (g_openWindow == this)
        g_openWindow = nullptr;
}

void TfrmScan::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Once per showing: a message box closing over the window must not start a second walk.
    if (!m_started) {
        m_started = true;
        QMetaObject::invokeMethod(this, &TfrmScan::FormActivate, Qt::QueuedConnection);
    }
}

void TfrmScan::setMessage(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lblMsg->setText(shown);
}

void TfrmScan::enterState(State state)
{
    m_state = state;
    switch (state) {
    case State::Idle:
    case State::Scanning:
    case State::Saving:
        break;
    default:
        emit sessionSettled(state);
    }
}

void TfrmScan::FormActivate()
{
    // Cleared here rather than when the walk starts: a Cancel that lands while the window
    // gets ready has already closed it, and no walk may then run on behind it.
    m_session->walker().clearCancel();
    btnOk->setEnabled(false);
    m_editMode = false;
    pnlEdit->hide();
    pnlProgress->hide();
    edtMark->clear();
    edtNote->clear();
    edtLocation->clear();
    m_ejectOnClose = false;
    m_state = State::Scanning;
    setMessage(scantext::Scanning);
    processPendingEvents();
    if (m_session->walker().cancelRequested()) {
        setMessage(scantext::Aborted);
        btnCancel->setText(QStringLiteral("Close"));
        enterState(State::Aborted);
        return;
    }

    if (m_session->checkAudioDisc()) {
        // On before events run: a Close clicked in between hands the disc back too.
        m_ejectOnClose = true;
        setMessage(sessionMessage());
        btnCancel->setText(QStringLiteral("Close"));
        processPendingEvents();
        enterState(State::AudioDisc);
        processPendingEvents();
        return;
    }

    bool finished = false;
    try {
        finished = ScanCD();
    } catch (const AmbryError &e) {
        // The catalog could not be read while deciding; nothing can be saved this time.
        showError(e.message(), this);
        setMessage(scantext::Aborted);
        btnCancel->setText(QStringLiteral("Close"));
        enterState(State::Aborted);
        return;
    }
    if (!finished) {
        setMessage(scantext::Aborted);
        btnCancel->setText(QStringLiteral("Close"));
        enterState(State::Aborted);
        processPendingEvents();
        return;
    }

    State settled = State::Empty;
    switch (m_session->outcome()) {
    case AddDiscSession::Outcome::AlreadyArchived:
        settled = State::AlreadyArchived;
        setMessage(sessionMessage());
        btnCancel->setText(QStringLiteral("Close"));
        break;
    case AddDiscSession::Outcome::Unreadable:
        settled = State::Unreadable;
        setMessage(sessionMessage());
        btnCancel->setText(QStringLiteral("Close"));
        break;
    case AddDiscSession::Outcome::MarkEntry:
        settled = State::MarkEntry;
        pnlEdit->show();
        m_editMode = true;
        edtLocation->setText(m_session->defaultLocation());
        edtMark->setText(m_session->proposedMark());
        edtMark->setFocus();
        setMessage(sessionMessage());
        btnCancel->setText(QStringLiteral("Cancel"));
        break;
    default:
        setMessage(m_session->incompleteNote().isEmpty()
                       ? scantext::Empty
                       : scantext::Empty + QStringLiteral("\r\n") + m_session->incompleteNote());
        btnCancel->setText(QStringLiteral("Close"));
        break;
    }
    m_state = settled;     // OK works as soon as it is enabled
    m_ejectOnClose = true; // before events run, so a Close clicked now opens the tray
    processPendingEvents();
    enterState(settled);
    processPendingEvents();
}

bool TfrmScan::ScanCD()
{
    // The cancel flag was cleared when the window started its steps (FormActivate).
    BusyCursor busy;
    // The application closing (a quit request reaches the application object first) stops
    // the walk like Cancel does, so the program does not linger in a walk nobody watches.
    qApp->installEventFilter(this);
    struct RemoveFilter
    {
        TfrmScan *frm;
        ~RemoveFilter() { qApp->removeEventFilter(frm); }
    } removeFilter{this};
    pnlEdit->hide();
    pnlProgress->show();
    ProgressBar1->setValue(0);
    lblCounts->clear();
    processPendingEvents();

    m_session->walker().setProgressCallback([this](const DiscWalker &w) { showProgress(w); },
                                            m_progressIntervalMs);
    struct HideProgress
    {
        TfrmScan *frm;
        ~HideProgress()
        {
            frm->ProgressBar1->setValue(100);
            processPendingEvents();
            frm->pnlProgress->hide();
        }
    } hideProgress{this};
    showProgress(m_session->walker());
    return m_session->scan() != AddDiscSession::Outcome::Aborted;
}

void TfrmScan::showProgress(const DiscWalker &walker)
{
    const DiscWalker::Counts &c = walker.counts();
    ProgressBar1->setValue(walker.progressPercent());
    lblCounts->setText(QStringLiteral("Files: %1    Folders: %2")
                           .arg(FormatGroupedNumber(c.files), FormatGroupedNumber(c.folders)));
    emit scanProgress(c.files, c.folders);
    processPendingEvents();
}

void TfrmScan::edtMarkChange()
{
    btnOk->setEnabled(m_editMode && !edtMark->text().trimmed().isEmpty());
}

void TfrmScan::btnOkClick()
{
    if (!m_editMode || !btnOk->isEnabled() || m_state != State::MarkEntry)
        return;
    m_state = State::Saving;
    setMessage(scantext::Saving);
    if (!SaveArchive())
        return;
    processPendingEvents();
    if (m_session->savedPath().isEmpty()) {
        finish(); // nothing was written ("Cannot Get CRC.")
        return;
    }
    showSaved();
}

void TfrmScan::showSaved()
{
    // The tray opens now, as a save ends; the window says for a moment what went into the
    // catalog and then closes by itself, or at once on any key.
    if (m_ejectOnClose && !m_finished)
        m_session->eject();
    m_ejectOnClose = false;
    m_editMode = false;
    btnOk->setEnabled(false);
    pnlEdit->hide();
    const DiscWalker::Counts &c = m_session->walker().counts();
    QString text =
        scantext::Saved + QStringLiteral("\r\n") + scantext::catalogued(c.files, c.folders, c.bytes);
    if (!m_session->incompleteNote().isEmpty())
        text += QStringLiteral("\r\n") + m_session->incompleteNote();
    setMessage(text);
    btnCancel->setText(QStringLiteral("Close"));
    btnCancel->setFocus();
    enterState(State::Saved);
    QTimer::singleShot(m_savedShownMs, this, [this] {
        if (m_state == State::Saved)
            finish();
    });
}

bool TfrmScan::SaveArchive()
{
    AddDiscSession::SaveResult result;
    try {
        // Another copy of the program may be writing the catalog: wait with the busy cursor,
        // repainting but taking no clicks, so the save cannot be cancelled half way.
        BusyCursor busy;
        Progress repainting;
        repainting.pendingEvents = [] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
        result = m_session->save(edtMark->text(), edtLocation->text(), edtNote->text(), repainting);
    } catch (const AmbryError &e) {
        // The catalog is busy or could not be written: the user sees why and may try again.
        showError(e.message(), this);
        backToMark();
        return false;
    }
    switch (result) {
    case AddDiscSession::SaveResult::Saved:
        return true;
    case AddDiscSession::SaveResult::NoChecksum:
        // Nothing is written; the window then ends as after a save.
        showMessage(scantext::CannotGetCrc, this);
        return true;
    case AddDiscSession::SaveResult::MarkInUse:
        backToMark();
        showMessage(scantext::MarkExists, this);
        edtMark->setFocus();
        return false;
    case AddDiscSession::SaveResult::AlreadyArchived:
        // Another add saved this very disc while the user was typing.
        m_editMode = false;
        btnOk->setEnabled(false);
        pnlEdit->hide();
        setMessage(sessionMessage());
        btnCancel->setText(QStringLiteral("Close"));
        enterState(State::AlreadyArchived);
        return false;
    }
    return false;
}

QString TfrmScan::sessionMessage() const
{
    // A walk that had to skip folders says so under whatever it came to.
    const QString note = m_session->incompleteNote();
    return note.isEmpty() ? m_session->message() : m_session->message() + QStringLiteral("\r\n") + note;
}

void TfrmScan::backToMark()
{
    m_state = State::MarkEntry;
    setMessage(sessionMessage());
    edtMarkChange();
    edtMark->setFocus();
}

void TfrmScan::btnCancelClick()
{
    // A running walk notices the flag at its next folder and unwinds.
    m_session->walker().cancel();
    processPendingEvents();
    finish();
}

void TfrmScan::finish()
{
    if (m_finished)
        return; // Cancel pressed while a save was finishing: the tray opens only once
    m_finished = true;
    if (m_ejectOnClose)
        m_session->eject();
    done(QDialog::Rejected);
}

void TfrmScan::keyPressEvent(QKeyEvent *event)
{
    // After a save any key closes the window at once (the buttons keep their own keys).
    if (m_state == State::Saved) {
        finish();
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Only a fresh press: a held Esc that cancelled the window before must not go on to
        // cancel the one that follows it.
        if (!event->isAutoRepeat())
            btnCancelClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmScan::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::Quit)
        m_session->walker().cancel();
    // onEditKeyPress: Enter in an edit moves to the next control, Shift+Enter to the previous.
    if (event->type() == QEvent::KeyPress &&
        (watched == edtMark || watched == edtLocation || watched == edtNote)) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
