#pragma once

#include <QDialog>
#include <QSet>
#include <QString>

class KeyReleaseRule;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The small window in which the user changes an archive's mark, location and note. It only
// decides whether OK may close it; the browser writes the archive afterwards.
class TfrmEditArchive : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmEditArchive(QWidget *parent = nullptr);
    ~TfrmEditArchive() override;

    // The one edit window while it exists.
    static TfrmEditArchive *instance();

    void setFields(const QString &mark, const QString &location, const QString &note);
    QString mark() const;
    QString location() const;
    QString note() const;
    QString startingMark() const { return m_startingMark; }

public slots:
    void btnOkClick();
    void btnCancelClick();
    void edtMarkChange();

protected:
    void showEvent(QShowEvent *e) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void FormActivate();

    QWidget *Panel2;
    QLabel *lblDela;
    QLabel *lblMark;
    QLabel *lblLocation;
    QLabel *lblNote;
    QLineEdit *edtMark;
    QLineEdit *edtLocation;
    QLineEdit *edtNote;
    QWidget *Panel1;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QString m_startingMark;
    bool m_activated = false;
    KeyReleaseRule *m_releaseRule;
};
