#pragma once

#include "scan/AddDiscSession.h"
#include "util/gui/ModalResult.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// What one add-disc window came to.
struct AddDiscResult
{
    // Cancel once the window was shown (it always closes so, also after a save); None when it
    // was not, because one was open already.
    ModalResult modalResult = ModalResult::None;
    AddDiscSession::Outcome outcome = AddDiscSession::Outcome::None;
    QString savedPath; // the archive the save wrote; empty when none was written
};

// Shows the add-disc window modally for the disc in the read device, then destroys it and says
// what came of it. Returns at once, with nothing done, while such a window is already open.
AddDiscResult RunAddDiscSession();
// The same for a disc image file, read without mounting and with no wait for a disc.
AddDiscResult RunAddImageSession(const QString &imagePath);

// The add-disc window: walks the disc in the read device when first shown and either tells
// why it cannot be added or lets the user mark it and save it.
class TfrmScan : public QDialog
{
    Q_OBJECT
public:
    // Saved: the archive was written; the window shows what went into the catalog until closed.
    // Unreadable: a disc image that is damaged or no image at all.
    enum class State {
        Idle,
        Scanning,
        AudioDisc,
        Aborted,
        Empty,
        AlreadyArchived,
        MarkEntry,
        Saving,
        Saved,
        Unreadable
    };

    // Without a session: the disc in the read device.
    explicit TfrmScan(QWidget *parent = nullptr);
    explicit TfrmScan(AddDiscSession session, QWidget *parent = nullptr);
    ~TfrmScan() override;

    State state() const { return m_state; }
    bool editMode() const { return m_editMode; }
    bool ejectOnClose() const { return m_ejectOnClose; }
    const AddDiscSession &session() const { return *m_session; }
    // How often the running walk lets the window process events (tests use 0: every entry).
    void setProgressInterval(int ms) { m_progressIntervalMs = ms; }
    // How long the saved state shows before the window closes (tests shorten it).
    void setSavedShownMs(int ms) { m_savedShownMs = ms; }
    // The open add-disc window, if any.
    static TfrmScan *openWindow();

signals:
    // The walk has come this far (emitted with the window's progress updates).
    void scanProgress(qint64 files, qint64 folders);
    // The session reached a state in which it waits for the user.
    void sessionSettled(TfrmScan::State state);

public slots:
    void btnOkClick();
    void btnCancelClick();
    void edtMarkChange();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormActivate();
    bool ScanCD();
    // False when the window stays open: back at the mark, or the disc turned out archived.
    bool SaveArchive();
    void backToMark();
    QString sessionMessage() const;
    void finish();
    void showSaved();
    void setMessage(const QString &text);
    void enterState(State state);
    void showProgress(const DiscWalker &walker);

    QWidget *Panel1;
    QLabel *Label2;
    QLabel *lblMsg;
    QWidget *pnlProgress;
    QProgressBar *ProgressBar1;
    QLabel *lblCounts;
    QWidget *pnlEdit;
    QLineEdit *edtMark;
    QLineEdit *edtLocation;
    QLineEdit *edtNote;
    QWidget *Panel2;
    QPushButton *btnOk;
    QPushButton *btnCancel;

    std::unique_ptr<AddDiscSession> m_session;
    State m_state = State::Idle;
    bool m_editMode = false;
    bool m_ejectOnClose = false;
    bool m_started = false;
    bool m_finished = false;
    int m_progressIntervalMs = 20;
    int m_savedShownMs = scantext::SavedShownMs;
};
