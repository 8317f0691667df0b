#pragma once

#include <QDialog>

class KeyReleaseRule;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

// The fields of one search result in a small window of their own.
class TfrmPropreties : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPropreties(QWidget *parent = nullptr);
    ~TfrmPropreties() override;

    // The one properties window while it exists.
    static TfrmPropreties *instance();

    // Fills the value labels from one result row's texts, as the search list shows them, and the
    // archive's location.
    void setFields(const QString &mark, const QString &directory, const QString &file, const QString &type,
                   const QString &date, const QString &size, const QString &location = QString());

public slots:
    void btnCancelClick();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;

private:
    void FormCreate();
    void ScrollBox1Resize();
    void layoutContent();

    QWidget *Panel1;
    QLabel *Label10;
    QScrollArea *ScrollBox1;
    QWidget *m_content;
    QLabel *Label6;
    QLabel *lblMark;
    QLabel *Label7;
    QLabel *lblLocation;
    QFrame *L1;
    QLabel *Label1;
    QLabel *lblDir;
    QLabel *Label2;
    QLabel *lblFile;
    QLabel *Label3;
    QLabel *lblType;
    QFrame *L2;
    QLabel *Label4;
    QLabel *lblDate;
    QLabel *Label5;
    QLabel *lblSize;
    QFrame *L3;
    QWidget *Panel2;
    QPushButton *btnCancel;
    KeyReleaseRule *m_releaseRule;
};
