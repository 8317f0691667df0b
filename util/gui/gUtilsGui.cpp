#include "gUtilsGui.h"

#include "MessageBox.h"
#include "ShellService.h"
#include "util/AmbryError.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSizeGrip>
#include <QStatusBar>

#include <memory>

namespace {

QString percentEncoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QList<QWidget *> statusBarPanels(QStatusBar *statusBar, const QWidget *except)
{
    QList<QWidget *> panels;
    for (QObject *child : statusBar->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && w != except && !w->isWindow() && !qobject_cast<QSizeGrip *>(w))
            panels << w;
    }
    return panels;
}

class ProgressPlacement : public QObject
{
public:
    ProgressPlacement(QStatusBar *statusBar, QProgressBar *bar)
        : QObject(bar), m_statusBar(statusBar), m_bar(bar)
    {
        statusBar->installEventFilter(this);
        const QList<QWidget *> panels = statusBarPanels(statusBar, bar);
        if (panels.size() > 1)
            panels.at(1)->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::LayoutRequest:
            if (m_statusBar && m_bar)
                PlaceProgressBarInStatusBar(m_statusBar, m_bar);
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QStatusBar> m_statusBar;
    QPointer<QProgressBar> m_bar;
};

class EnterFocusFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto *edit = qobject_cast<QWidget *>(watched);
            if (edit && EnterMovesFocus(edit->window(), static_cast<QKeyEvent *>(event)))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

bool isInnerEdit(const QLineEdit *edit)
{
    const QObject *p = edit->parent();
    return qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p);
}

} // namespace

QUrl shellTargetUrl(const QString &target)
{
    // "https://...", "mailto:..." are addresses; "C:..." or an existing file is a path.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch() && !QFileInfo::exists(target))
        return QUrl(target, QUrl::TolerantMode);
    return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}

QString openFailureText(const QUrl &url)
{
    if (url.isLocalFile()) {
        return QStringLiteral("Could not open the file\n") + url.toLocalFile() +
               QStringLiteral("\nNo program is set up on this system to open files of this kind.");
    }
    if (url.scheme() == QLatin1String("mailto"))
        return QStringLiteral("Could not start a new mail.\nNo mail program is set up on this system.");
    return QStringLiteral("Could not open the page\n") + url.toString() +
           QStringLiteral("\nNo web browser is set up on this system. Copy the address into a browser to "
                          "open it there.");
}

bool openUrlOrSay(const QUrl &url, QWidget *owner)
{
    if (shell().openUrl(url))
        return true;
    showError(openFailureText(url), owner);
    return false;
}

bool OpenWithShell(QWidget *owner, const QString &target)
{
    QCoreApplication::processEvents();
    if (target.isEmpty())
        return false;
    return openUrlOrSay(shellTargetUrl(target), owner);
}

QString composeMailText(const QString &address, const QString &subject, const QString &body)
{
    return QStringLiteral("mailto:") + address + QStringLiteral("?subject=") + subject +
           QStringLiteral("&Body=") + body;
}

QUrl composeMailUrl(const QString &address, const QString &subject, const QString &body)
{
    return QUrl(composeMailText(address, percentEncoded(subject), percentEncoded(body)), QUrl::TolerantMode);
}

bool ComposeMail(QWidget *owner, const QString &address, const QString &subject, const QString &body)
{
    QCoreApplication::processEvents();
    return openUrlOrSay(composeMailUrl(address, subject, body), owner);
}

QMimeData *fileClipboardData(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QUrl url = QUrl::fromLocalFile(absolute);
    auto *data = new QMimeData;
    data->setUrls({url});
    // GNOME-family file managers paste only their own format; no line end after the last URL.
    data->setData(QStringLiteral("x-special/gnome-copied-files"),
                  QByteArrayLiteral("copy\n") + url.toEncoded());
    data->setData(QStringLiteral("application/x-kde-cutselection"), QByteArrayLiteral("0"));
    data->setText(absolute);
    return data;
}

void CopyFileToClipboard(const QString &path)
{
    if (!shell().setClipboard(fileClipboardData(path)))
        throw AmbryError(QStringLiteral("Could not allocate memory."));
}

void PlaceProgressBarInStatusBar(QStatusBar *statusBar, QProgressBar *bar)
{
    if (!statusBar || !bar)
        return;
    if (bar->parentWidget() != statusBar)
        bar->setParent(statusBar);
    const QList<QWidget *> panels = statusBarPanels(statusBar, bar);
    QRect area;
    if (panels.size() > 1) {
        area = panels.at(1)->geometry();
    } else {
        area = statusBar->rect();
        if (!panels.isEmpty())
            area.setLeft(panels.front()->geometry().right() + 1);
    }
    bar->setGeometry(area.adjusted(1, 1, -1, -1));
    bar->raise();
}

void installProgressBarPlacement(QStatusBar *statusBar, QProgressBar *bar)
{
    PlaceProgressBarInStatusBar(statusBar, bar);
    new ProgressPlacement(statusBar, bar);
}

StatusPanels buildStatusPanels(QWidget *window, bool textMayGrow)
{
    StatusPanels p;
    p.bar = new QStatusBar(window);
    p.bar->setObjectName(QStringLiteral("sb1"));
    p.bar->setSizeGripEnabled(true);
    p.text = new QLabel(p.bar);
    p.text->setObjectName(QStringLiteral("sbPanel0"));
    if (textMayGrow)
        p.text->setMinimumWidth(420);
    else
        p.text->setFixedWidth(420);
    p.bar->addWidget(p.text);
    auto *panel1 = new QLabel(p.bar);
    panel1->setObjectName(QStringLiteral("sbPanel1"));
    panel1->setFixedWidth(120);
    p.bar->addWidget(panel1);
    p.bar->addWidget(new QLabel(p.bar), 1);
    p.progress = new QProgressBar(p.bar);
    p.progress->setObjectName(QStringLiteral("ProgressBar1"));
    p.progress->setAccessibleName(QStringLiteral("Progress"));
    p.progress->setRange(0, 100);
    p.progress->setValue(0);
    p.progress->setTextVisible(false);
    return p;
}

void processPendingEvents()
{
    QCoreApplication::processEvents();
}

bool isEnterKey(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

bool EnterMovesFocus(QWidget *window, QKeyEvent *event)
{
    if (!event || !isEnterKey(event))
        return false;
    QWidget *focus = window ? window->focusWidget() : nullptr;
    if (!focus)
        return false;
    // Qt's own tab handling decides the next control (tab order, focus proxies, disabled ones).
    const bool backwards = event->modifiers() & Qt::ShiftModifier;
    QKeyEvent tab(QEvent::KeyPress, backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                  backwards ? Qt::ShiftModifier : Qt::NoModifier);
    QCoreApplication::sendEvent(focus, &tab);
    return true;
}

void installEnterMovesFocus(QWidget *editOrWindow)
{
    if (!editOrWindow)
        return;
    auto *filter = new EnterFocusFilter(editOrWindow);
    if (auto *edit = qobject_cast<QLineEdit *>(editOrWindow)) {
        edit->installEventFilter(filter);
        return;
    }
    for (QLineEdit *edit : editOrWindow->findChildren<QLineEdit *>()) {
        if (!isInnerEdit(edit))
            edit->installEventFilter(filter);
    }
}

void SetAllItemsSelected(QAbstractItemView *view, bool selected)
{
    QAbstractItemModel *model = view ? view->model() : nullptr;
    QItemSelectionModel *selection = view ? view->selectionModel() : nullptr;
    if (!model || !selection)
        return;
    const QModelIndex root = view->rootIndex();
    const int rows = model->rowCount(root);
    const int columns = model->columnCount(root);
    if (rows == 0 || columns == 0)
        return;
    const QItemSelection all(model->index(0, 0, root), model->index(rows - 1, columns - 1, root));
    selection->select(all, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                               QItemSelectionModel::Rows);
}

int runModalWindow(QDialog *window)
{
    const std::unique_ptr<QDialog> owned(window);
    const int result = owned->exec();
    QCoreApplication::processEvents();
    return result;
}
