#include "ListWindow.h"

#include "KeyReleaseRule.h"
#include "WindowLook.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

ListWindow::ListWindow(QWidget *parent, const QString &formName, bool statusMayGrow)
    : QDialog(parent), m_statusMayGrow(statusMayGrow)
{
    look::setSizableFrame(this);
    setObjectName(formName);
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::applyLightPalette(this);
    m_releaseRule = new KeyReleaseRule(this);
    resize(584, 360);
    setMinimumSize(584, 360);
}

void ListWindow::assemble(std::initializer_list<QWidget *> above, std::initializer_list<QWidget *> lists)
{
    // Built last, so that screen readers meet it after the controls, as the eye does.
    const StatusPanels p = buildStatusPanels(this, m_statusMayGrow);
    sb1 = p.bar;
    sbPanel0 = p.text;
    ProgressBar1 = p.progress;

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (QWidget *w : above)
        column->addWidget(w);
    for (QWidget *w : lists)
        column->addWidget(w, 1);
    column->addWidget(sb1);

    TimProgressToZero = new QTimer(this);
    TimProgressToZero->setObjectName(QStringLiteral("TimProgressToZero"));
    TimProgressToZero->setInterval(150);
    connect(TimProgressToZero, &QTimer::timeout, this, &ListWindow::TimProgressToZeroTimer);
    installProgressBarPlacement(sb1, ProgressBar1);

    // The window sees every key before its controls.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

QAction *ListWindow::addNamedAction(const char *name, const char *text, const char *hint, bool enabled)
{
    auto *action = new QAction(QString::fromLatin1(text), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(QString::fromLatin1(hint));
    action->setEnabled(enabled);
    action->setIconVisibleInMenu(false);
    addAction(action);
    return action;
}

QString ListWindow::statusText() const
{
    return sbPanel0->text();
}

void ListWindow::setStatusText(const QString &text)
{
    sbPanel0->setText(text);
}

void ListWindow::progressStart()
{
    ProgressBar1->setValue(0);
}

void ListWindow::progressStep()
{
    ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, 100));
}

void ListWindow::progressEnd()
{
    ProgressBar1->setValue(100);
    TimProgressToZero->start();
}

Progress ListWindow::runProgress(const bool *cancel)
{
    Progress progress;
    progress.cancel = cancel;
    progress.stopRequested = [] { return QCoreApplication::closingDown(); };
    progress.pendingEvents = processPendingEvents;
    progress.stepDone = [this] { progressStep(); };
    return progress;
}

Progress ListWindow::changeProgress()
{
    Progress progress;
    progress.pendingEvents = processPendingEvents;
    return progress;
}

void ListWindow::TimProgressToZeroTimer()
{
    TimProgressToZero->stop();
    ProgressBar1->setValue(0);
}

bool ListWindow::isOwnControl(const QObject *watched) const
{
    const auto *target = qobject_cast<const QWidget *>(watched);
    return target && target->window() == this;
}

bool ListWindow::acceptsRelease(const QObject *watched, const QKeyEvent *key, std::initializer_list<int> keys)
{
    // The rule is asked last: it forgets the press it accepts.
    return isOwnControl(watched) && std::find(keys.begin(), keys.end(), key->key()) != keys.end() &&
           m_releaseRule->accepts(key);
}

bool ListWindow::eventFilter(QObject *watched, QEvent *e)
{
    // Esc acts when it is released: the release of an Esc that closed a window above this one
    // must not close this one too.
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape &&
        isOwnControl(watched))
        return true;
    if (e->type() == QEvent::KeyRelease &&
        acceptsRelease(watched, static_cast<QKeyEvent *>(e), {Qt::Key_Escape})) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void ListWindow::done(int result)
{
    FormCloseQuery();
    QDialog::done(result);
}

void ListWindow::closeEvent(QCloseEvent *e)
{
    FormCloseQuery();
    QDialog::closeEvent(e);
}

void ListWindow::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    // FormResize: the progress bar follows status panel 1.
    PlaceProgressBarInStatusBar(sb1, ProgressBar1);
}
