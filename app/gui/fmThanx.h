#pragma once

#include <QDialog>
#include <QString>

class KeyReleaseRule;
class QLabel;
class QPushButton;
class QWidget;

// The one-time welcome window. Shown when the value `name` under `key` is empty; whenever
// it closes it writes "T" there, so it is never shown again. Returns the modal result, or
// 0 when nothing was shown (already seen, or a welcome window is open already).
int ShowThanx(const QString &key, const QString &name, const QString &product, QWidget *parent = nullptr);

class TfrmThanx : public QDialog
{
    Q_OBJECT
public:
    TfrmThanx(const QString &key, const QString &name, const QString &product, QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    QString m_key;
    QString m_name;
    QWidget *Panel1;
    QLabel *Label1;
    QLabel *Image1;
    QLabel *lbl1;
    QLabel *lbl2;
    QWidget *Panel2;
    QPushButton *btnOK;
    KeyReleaseRule *m_releaseRule;
};
