#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class KeyReleaseRule;

// Opens the About window and returns its result; when one is open already it closes that one
// (result Cancel) and returns 0 at once.
int ShowAboutWindow();

// Product name, version, rights, contact links, the machine's memory and the program's folders.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);
    ~TfrmAbout() override;

    static TfrmAbout *instance();

public slots:
    void lblHomePageClick();
    void lblSupportMailClick();
    void lblNewsletterClick();

protected:
    void paintEvent(QPaintEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void FormActivate();
    QLabel *caption(const QString &text, const QString &name, int y);
    QLabel *value(const QString &name, int y);
    QLabel *link(const QString &name, int y);
    QPlainTextEdit *folderField(const QString &name, const QString &caption, int y);
    void placeFolderFields();

    QWidget *Panel1;
    QLabel *Label10;
    QLabel *Image1;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblHomePage;
    QLabel *lblSupportMail;
    QLabel *lblNewsletter;
    QLabel *Image2;
    QWidget *Shape1;
    QLabel *Label4;
    QLabel *Label5;
    QPlainTextEdit *edtAppFolder;
    QPlainTextEdit *edtTntRoamingAppDataFolder;
    QWidget *Panel2;
    QPushButton *btnCancel;
    KeyReleaseRule *m_keyRule;
    int m_valueLeft = 0;
};
