#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "drives/DiscWait.h"
#include "util/gUtils.h"
#include "util/gui/ModalResult.h"

class QLabel;
class QPushButton;
class QTimer;
class QWidget;
class MediaMonitor;

// Asks for a disc in the read device and waits until it is there (the user's OK, a medium
// arriving in the read device, or a fresh disc already in the drive). Ok or Cancel.
ModalResult WaitForDisc(const QString &message, const QString &hint = QString());

// Disc requests through the wait window; what it tells goes into a message box over parent.
class WaitWindowRequester : public DiscRequester
{
public:
    // hint: a second line under each request (DiscWait::keptAt), empty for none.
    explicit WaitWindowRequester(QWidget *parent, const QString &hint = QString())
        : m_parent(parent), m_hint(hint)
    {}
    Answer waitForDisc(const QString &request) override;
    void tell(const QString &text) override;

private:
    QWidget *m_parent;
    QString m_hint;
};

// Called when a wait finds no read device at all; the main window installs one that disables
// its add command for good.
void setNoReadDeviceHandler(std::function<void()> handler);

class TfrmWaitCD : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmWaitCD(QWidget *parent = nullptr);
    ~TfrmWaitCD() override;

    // The states the window can be in after it was shown.
    using State = DiscWait::State;
    State state() const { return m_wait.state(); }

public slots:
    void btnOkClick();
    void btnCancelClick();
    void timCDinsertedTimer();
    void mediaArrived(const VolumeNotice &notice);
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormShow();
    void FormActivate();

    QWidget *Panel2;
    QLabel *Label2;
    QLabel *lblMsg;
    QWidget *Panel1;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QTimer *timCDinserted;
    MediaMonitor *m_monitor = nullptr;
    DiscWait m_wait;
    bool m_shown = false;
    bool m_inShow = false;
};
