#include "fmWaitCD.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "drives/DriveSystem.h"
#include "drives/HostageFile.h"
#include "settings/gVars.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowLook.h"

namespace {

// Shown under the request while waiting; set with the request by each wait.
QString &waitHint()
{
    static QString hint;
    return hint;
}

const QString NoDeviceHint =
    QStringLiteral("To catalog a folder, bind it as a drive: Tools, Set Default Read "
                   "Device..., or ambrylog-cli drives bind LETTER FOLDER.");

std::function<void()> &noReadDeviceHandler()
{
    static std::function<void()> handler;
    return handler;
}

// The one wait window that may be open.
QPointer<TfrmWaitCD> &openWindow()
{
    static QPointer<TfrmWaitCD> window;
    return window;
}

} // namespace

void setNoReadDeviceHandler(std::function<void()> handler)
{
    noReadDeviceHandler() = std::move(handler);
}

ModalResult WaitForDisc(const QString &message, const QString &hint)
{
    // A second wait while one is open counts as Cancel: the caller's command then stops,
    // rather than going on with a disc nobody asked for.
    if (openWindow())
        return ModalResult::Cancel;
    gVars().waitMessage = message;
    waitHint() = hint;
    auto *window = new TfrmWaitCD;
    openWindow() = window;
    const int result = window->exec();
    delete window;
    QCoreApplication::processEvents();
    return result == int(ModalResult::Ok) ? ModalResult::Ok : ModalResult::Cancel;
}

DiscRequester::Answer WaitWindowRequester::waitForDisc(const QString &request)
{
    return WaitForDisc(request, m_hint) == ModalResult::Ok ? Answer::Inserted : Answer::Cancelled;
}

void WaitWindowRequester::tell(const QString &text)
{
    showMessage(text, m_parent);
}

TfrmWaitCD::TfrmWaitCD(QWidget *parent)
    : QDialog(parent), m_wait(gVars().readDeviceLetter, settingsHostageFile())
{
    setObjectName(QStringLiteral("frmWaitCD"));
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::setDialogFrame(this);
    look::applyLightPalette(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel2 =
        look::makeTopBand(this, QStringLiteral("Panel2"), QStringLiteral("Label2"),
                          QStringLiteral("Waiting for the user to insert a CD/DVD"), look::BandBlue, &Label2);
    layout->addWidget(Panel2);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setAlignment(Qt::AlignCenter);
    lblMsg->setWordWrap(true);
    QFont msgFont = lblMsg->font();
    msgFont.setBold(true);
    lblMsg->setFont(msgFont);
    lblMsg->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(lblMsg, 1);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    Panel1 = look::makeButtonBand(this, QStringLiteral("Panel1"), {btnOk, btnCancel});
    // Keeps its height when the buttons are hidden in the "inserted" state.
    Panel1->setFixedHeight(Panel1->sizeHint().height());
    layout->addWidget(Panel1);
    connect(btnOk, &QPushButton::clicked, this, &TfrmWaitCD::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmWaitCD::btnCancelClick);

    timCDinserted = new QTimer(this);
    timCDinserted->setObjectName(QStringLiteral("timCDinserted"));
    timCDinserted->setInterval(DiscWait::kPresentMs);
    timCDinserted->setSingleShot(false);
    connect(timCDinserted, &QTimer::timeout, this, &TfrmWaitCD::timCDinsertedTimer);

    setFixedSize(440, 190);

    // Arrivals count only while this window exists.
    m_monitor = driveSystem().mediaMonitor();
    connect(m_monitor, &MediaMonitor::mediaArrived, this, &TfrmWaitCD::mediaArrived);
    m_monitor->start();
}

TfrmWaitCD::~TfrmWaitCD()
{
    if (m_monitor) {
        disconnect(m_monitor, nullptr, this, nullptr);
        m_monitor->stop();
    }
}

void TfrmWaitCD::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_inShow = true;
        FormShow();
        m_inShow = false;
    }
    FormActivate();
}

void TfrmWaitCD::done(int result)
{
    // FormShow lets pending events run while the window is still being shown, before the
    // modal loop of exec() exists. Ending the dialog then would hide it and leave that loop
    // waiting for ever, so the end waits until the loop runs.
    if (m_inShow) {
        QMetaObject::invokeMethod(
            this, [this, result] { QDialog::done(result); }, Qt::QueuedConnection);
        return;
    }
    QDialog::done(result);
}

void TfrmWaitCD::FormShow()
{
    const DiscWait::State state = m_wait.start();
    lblMsg->setText(m_wait.message(gVars().waitMessage));
    switch (state) {
    case DiscWait::State::NoDevice:
        // Without an optical drive a folder can stand in for a disc; say how to get one.
        lblMsg->setText(lblMsg->text() + QLatin1Char('\n') + NoDeviceHint);
        if (noReadDeviceHandler())
            noReadDeviceHandler()();
        btnOk->setEnabled(false);
        break;
    case DiscWait::State::DiscPresent:
        QCoreApplication::processEvents();
        timCDinserted->start();
        btnCancel->hide();
        btnOk->hide();
        break;
    case DiscWait::State::Waiting:
        if (!waitHint().isEmpty())
            lblMsg->setText(lblMsg->text() + QLatin1Char('\n') + waitHint());
        break;
    }
}

void TfrmWaitCD::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_shown)
        FormActivate();
}

void TfrmWaitCD::FormActivate()
{
    setWindowTitle(QStringLiteral("Ambrylog"));
    if (btnOk->isEnabled() && btnOk->isVisible())
        btnOk->setFocus();
}

void TfrmWaitCD::btnOkClick()
{
    if (!btnOk->isEnabled())
        return;
    m_wait.confirm();
    done(int(ModalResult::Ok));
}

void TfrmWaitCD::btnCancelClick()
{
    done(int(ModalResult::Cancel));
}

void TfrmWaitCD::timCDinsertedTimer()
{
    timCDinserted->stop();
    done(int(ModalResult::Ok));
}

void TfrmWaitCD::mediaArrived(const VolumeNotice &notice)
{
    if (m_wait.mediumArrived(notice))
        done(int(ModalResult::Ok));
}

void TfrmWaitCD::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Only a fresh press: a held Esc that cancelled the window before must not go on to
        // cancel the one that follows it.
        if (!event->isAutoRepeat())
            btnCancelClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmWaitCD::reject()
{
    // The window's close button and every other way out without OK give Cancel.
    done(int(ModalResult::Cancel));
}
