#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "drives/ReadDeviceList.h"

class QAction;
class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QWidget;
class KeyReleaseRule;
class ReadDeviceModel;

// Opens the read device window unless one is open already (then it returns 0 at once); the
// window's result otherwise (1 OK, 0 closed without storing).
int ShowSetDeviceWindow();

// Lets the user choose the read device among the CD/DVD drives and folder drives, open and
// close their trays, and bind folders to drive letters. OK stores the marked drive.
class TfrmSetDevice : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmSetDevice(QWidget *parent = nullptr);
    ~TfrmSetDevice() override;

    // How the window asks for a folder to bind (the desktop's folder dialog unless a test
    // answers instead); an empty answer binds nothing.
    using FolderChooser = std::function<QString(QWidget *parent)>;
    static void setFolderChooser(FolderChooser chooser);

    static TfrmSetDevice *instance();
    const ReadDeviceList &rows() const { return m_list; }

public slots:
    void ActSetDefaultExecute();
    void ActEjectExecute();
    void ActCloseExecute();
    void ActBindFolderExecute();
    void ActUnbindFolderExecute();
    void btnOkClick();
    void btnCancelClick();

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void FormCreate();
    void FormActivate();
    void KeyState();
    // Rebuilds the rows, keeping a marker the user has set here; selects the row of `select`
    // (the marked row when 0).
    void fillList(char select = 0);
    int selectedRow() const;
    char selectedLetter() const;

    QWidget *Panel2;
    QLabel *lblDela;
    QListView *ListView1;
    ReadDeviceModel *m_model;
    QMenu *PopupMenu1;
    QWidget *Panel1;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QAction *ActSetDefault;
    QAction *ActEject;
    QAction *ActClose;
    QAction *ActBindFolder;
    QAction *ActUnbindFolder;
    KeyReleaseRule *m_keyRule;

    ReadDeviceList m_list;
    char m_readDevice = 0; // the read device as the window found it
    char m_userMark = 0;   // the drive the user marked here, kept over rebuilds
};
