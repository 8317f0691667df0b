#include "fmSetDevice.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "drives/FolderDrives.h"
#include "drives/gDrives.h"
#include "settings/Settings.h"
#include "settings/gVars.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/MessageBox.h"
#include "util/gui/WindowKeys.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

void initDrivesGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(drives_gui);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

constexpr int WhereRole = Qt::UserRole + 1;
constexpr int ImageIndexRole = Qt::UserRole + 2; // 1 for the drive with the default marker

QPointer<TfrmSetDevice> &openWindow()
{
    static QPointer<TfrmSetDevice> window;
    return window;
}

TfrmSetDevice::FolderChooser &folderChooser()
{
    static TfrmSetDevice::FolderChooser chooser;
    return chooser;
}

QString chooseFolder(QWidget *parent)
{
    if (folderChooser())
        return folderChooser()(parent);
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Bind Folder as Drive"),
                                             QDir::homePath());
}

QString sentence(const QString &text)
{
    return text.isEmpty() ? text : text.at(0).toUpper() + text.mid(1) + QLatin1Char('.');
}

} // namespace

// The rows of the window's list, read from its ReadDeviceList.
class ReadDeviceModel : public QAbstractListModel
{
public:
    ReadDeviceModel(const ReadDeviceList *list, QObject *parent) : QAbstractListModel(parent), m_list(list)
    {
        initDrivesGuiResources();
        m_drive = QIcon(QStringLiteral(":/drives/drive.svg"));
        m_default = QIcon(QStringLiteral(":/drives/drive_default.svg"));
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_list->count();
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_list->count())
            return {};
        const ReadDeviceRow &row = m_list->rows().at(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return row.caption();
        case Qt::DecorationRole:
            return row.marked ? m_default : m_drive;
        case Qt::ToolTipRole:
        case WhereRole:
            return row.where;
        case Qt::AccessibleDescriptionRole:
            return row.marked ? row.where + QStringLiteral(", default read device") : row.where;
        case ImageIndexRole:
            return row.marked ? 1 : 0;
        default:
            return {};
        }
    }

    void reload()
    {
        beginResetModel();
        endResetModel();
    }
    void markersChanged()
    {
        if (m_list->count() > 0)
            emit dataChanged(index(0), index(m_list->count() - 1), {Qt::DecorationRole, ImageIndexRole});
    }

private:
    const ReadDeviceList *m_list;
    QIcon m_drive;
    QIcon m_default;
};

namespace {

// Under the caption, in a smaller grey line, what the letter is on this machine.
class DeviceDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        return QSize(qMax(size.width(), 136), size.height() + smallFont(option.font).pixelSize() + 4);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QFont small = smallFont(option.font);
        const int line = QFontMetrics(small).height();
        QStyleOptionViewItem top = option;
        top.rect.setBottom(option.rect.bottom() - line);
        QStyledItemDelegate::paint(painter, top, index);
        const QRect where(option.rect.left() + 2, option.rect.bottom() - line, option.rect.width() - 4, line);
        painter->save();
        painter->setFont(small);
        painter->setPen(QColor(90, 90, 90));
        const QString text =
            QFontMetrics(small).elidedText(index.data(WhereRole).toString(), Qt::ElideMiddle, where.width());
        painter->drawText(where, Qt::AlignHCenter | Qt::AlignTop, text);
        painter->restore();
    }

private:
    static QFont smallFont(const QFont &base)
    {
        QFont f = base;
        f.setPixelSize(qMax(9, QFontInfo(base).pixelSize() - 2));
        return f;
    }
};

// The list paints "No device installed." in its middle whenever it has no rows, so the text
// survives resizing and being covered, and under it how a folder becomes a drive.
class DeviceListView : public QListView
{
public:
    using QListView::QListView;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QListView::paintEvent(e);
        if (model() && model()->rowCount() > 0)
            return;
        QPainter p(viewport());
        p.setFont(font());
        p.setPen(palette().color(QPalette::Text));
        const QFontMetrics fm(font());
        const int w = fm.horizontalAdvance(NoDeviceText);
        const int h = fm.height();
        // Centred, five pixels below the middle.
        const QPoint topLeft((viewport()->width() - w) / 2, (viewport()->height() - h + 10) / 2);
        p.drawText(QRect(topLeft, QSize(w, h)), Qt::AlignLeft | Qt::AlignTop, NoDeviceText);
        p.setPen(palette().color(QPalette::PlaceholderText));
        const int margin = fm.averageCharWidth() * 2;
        p.drawText(QRect(margin, topLeft.y() + h + h / 2, viewport()->width() - 2 * margin, 4 * h),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, BindFolderHint);
    }
};

} // namespace

int ShowSetDeviceWindow()
{
    if (openWindow())
        return 0;
    auto *window = new TfrmSetDevice;
    openWindow() = window;
    return runModalWindow(window);
}

void TfrmSetDevice::setFolderChooser(FolderChooser chooser)
{
    folderChooser() = std::move(chooser);
}

TfrmSetDevice *TfrmSetDevice::instance()
{
    return openWindow();
}

TfrmSetDevice::TfrmSetDevice(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSetDevice"));
    look::setDialogFrame(this);
    look::applyLightPalette(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel2 = look::makeTopBand(this, QStringLiteral("Panel2"), QStringLiteral("lblDela"),
                               QStringLiteral("Select default read device"), look::BandBlue, &lblDela);
    layout->addWidget(Panel2);

    m_model = new ReadDeviceModel(&m_list, this);
    ListView1 = new DeviceListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Select default read device"));
    ListView1->setViewMode(QListView::IconMode);
    ListView1->setMovement(QListView::Static);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setWrapping(true);
    ListView1->setIconSize(QSize(32, 32));
    ListView1->setSpacing(4);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setFrameShape(QFrame::NoFrame);
    ListView1->setUniformItemSizes(true);
    ListView1->setItemDelegate(new DeviceDelegate(ListView1));
    ListView1->setModel(m_model);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(ListView1, 1);

    btnOk = new QPushButton(QStringLiteral("OK"));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnOk, btnCancel}) {
        // Enter marks a drive here; it never presses a button.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumWidth(59);
    }
    btnOk->setEnabled(false);
    Panel1 = look::makeButtonBand(this, QStringLiteral("Panel1"), {btnOk, btnCancel});
    layout->addWidget(Panel1);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSetDevice::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSetDevice::btnCancelClick);

    const auto newAction = [this](const QString &name, const QString &text) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        a->setToolTip(text);
        addAction(a);
        return a;
    };
    ActSetDefault = newAction(QStringLiteral("ActSetDefault"), QStringLiteral("Set as Default Read Device"));
    QFont bold = ActSetDefault->font();
    bold.setBold(true);
    ActSetDefault->setFont(bold);
    ActEject = newAction(QStringLiteral("ActEject"), QStringLiteral("Eject CD/DVD"));
    ActClose = newAction(QStringLiteral("ActClose"), QStringLiteral("Close CD/DVD"));
    ActBindFolder = newAction(QStringLiteral("ActBindFolder"), QStringLiteral("Bind Folder as Drive..."));
    ActUnbindFolder = newAction(QStringLiteral("ActUnbindFolder"), QStringLiteral("Unbind Folder Drive"));
    connect(ActSetDefault, &QAction::triggered, this, &TfrmSetDevice::ActSetDefaultExecute);
    connect(ActEject, &QAction::triggered, this, &TfrmSetDevice::ActEjectExecute);
    connect(ActClose, &QAction::triggered, this, &TfrmSetDevice::ActCloseExecute);
    connect(ActBindFolder, &QAction::triggered, this, &TfrmSetDevice::ActBindFolderExecute);
    connect(ActUnbindFolder, &QAction::triggered, this, &TfrmSetDevice::ActUnbindFolderExecute);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ActSetDefault);
    PopupMenu1->setDefaultAction(ActSetDefault);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
    PopupMenu1->addAction(ActEject);
    PopupMenu1->addAction(ActClose);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActBindFolder);
    PopupMenu1->addAction(ActUnbindFolder);
    windowkeys::addMnemonics(PopupMenu1);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        KeyState();
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos));
    });

    connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { ActSetDefaultExecute(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { KeyState(); });

    // The window sees every key before its controls.
    m_keyRule = new KeyReleaseRule(this);
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    setFixedSize(301, 242);
    FormCreate();
    KeyState();
}

TfrmSetDevice::~TfrmSetDevice() = default;

void TfrmSetDevice::FormCreate()
{
    setWindowTitle(QStringLiteral("Ambrylog"));
    m_readDevice = ReadDeviceList::initialReadDevice();
    gVars().readDeviceLetter = m_readDevice;
}

void TfrmSetDevice::FormActivate()
{
    fillList();
}

void TfrmSetDevice::fillList(char select)
{
    const char previous = selectedLetter();
    m_list.fill(m_userMark ? m_userMark : m_readDevice);
    m_model->reload();

    int row = -1;
    for (char wanted : {select, previous}) {
        for (int i = 0; wanted && row < 0 && i < m_list.count(); ++i)
            if (m_list.rows().at(i).letter == wanted)
                row = i;
    }
    if (row < 0)
        row = m_list.markedRow();
    if (row >= 0)
        ListView1->selectionModel()->setCurrentIndex(m_model->index(row),
                                                     QItemSelectionModel::ClearAndSelect);

    const bool hasRows = m_list.count() > 0;
    btnOk->setEnabled(hasRows);
    ListView1->setFocusPolicy(hasRows ? Qt::StrongFocus : Qt::NoFocus);
    // What the empty list shows is painted: a screen reader reads it here.
    ListView1->setAccessibleDescription(hasRows ? QString()
                                                : NoDeviceText + QLatin1Char(' ') + BindFolderHint);
    if (hasRows)
        ListView1->setFocus(Qt::OtherFocusReason);
    ListView1->viewport()->update();
    KeyState();
}

int TfrmSetDevice::selectedRow() const
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedIndexes();
    return selected.size() == 1 ? selected.front().row() : -1;
}

char TfrmSetDevice::selectedLetter() const
{
    const int row = selectedRow();
    return row >= 0 && row < m_list.count() ? m_list.rows().at(row).letter : 0;
}

void TfrmSetDevice::KeyState()
{
    // A menu opened over the list leaves the list its focus.
    const bool listFocused =
        ListView1->hasFocus() || (QApplication::activePopupWidget() && focusWidget() == ListView1);
    const int row = selectedRow();
    const bool on = listFocused && row >= 0;
    ActSetDefault->setEnabled(on);
    ActEject->setEnabled(on);
    ActClose->setEnabled(on);
    ActUnbindFolder->setEnabled(on && m_list.rows().at(row).folderDrive);
}

void TfrmSetDevice::ActSetDefaultExecute()
{
    const int row = selectedRow();
    if (!ActSetDefault->isEnabled() || row < 0)
        return;
    m_list.setDefault(row);
    m_userMark = m_list.rows().at(row).letter;
    m_model->markersChanged();
}

void TfrmSetDevice::ActEjectExecute()
{
    if (ActEject->isEnabled() && selectedLetter())
        OpenDriveDoor(selectedLetter());
}

void TfrmSetDevice::ActCloseExecute()
{
    if (ActClose->isEnabled() && selectedLetter())
        CloseDriveDoor(selectedLetter());
}

void TfrmSetDevice::ActBindFolderExecute()
{
    const QString folder = chooseFolder(this);
    if (folder.isEmpty())
        return;
    const char letter = folderdrives::firstFreeLetter();
    if (!letter) {
        showMessage(QStringLiteral("Every drive letter from A to Z is in use."), this);
        return;
    }
    const folderdrives::BindOutcome outcome = folderdrives::bind(letter, folder);
    if (!outcome.bound) {
        showError(sentence(outcome.error), this);
        return;
    }
    fillList(letter);
}

void TfrmSetDevice::ActUnbindFolderExecute()
{
    const int row = selectedRow();
    if (!ActUnbindFolder->isEnabled() || row < 0 || !m_list.rows().at(row).folderDrive)
        return;
    const ReadDeviceRow target = m_list.rows().at(row);
    if (!askConfirm(QStringLiteral("Do you really want to unbind the folder drive %1?\n\n"
                                   "The folder %2 itself stays as it is.")
                        .arg(target.caption(), target.where),
                    this))
        return;
    folderdrives::unbind(target.letter);
    if (m_userMark == target.letter)
        m_userMark = 0;
    if (m_readDevice == target.letter)
        m_readDevice = 0;
    fillList();
}

void TfrmSetDevice::btnOkClick()
{
    const char letter = m_list.chosenLetter();
    if (letter) {
        settings::set(settings::DefaultDeviceDrive, QString(QLatin1Char(letter)));
        gVars().readDeviceLetter = letter;
    }
    accept();
}

void TfrmSetDevice::btnCancelClick()
{
    reject();
}

bool TfrmSetDevice::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

bool TfrmSetDevice::eventFilter(QObject *watched, QEvent *e)
{
    // Keys typed into a menu opened from here belong to the menu.
    const bool popupKey = (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) &&
                          watched->isWidgetType() && static_cast<QWidget *>(watched)->window() != this;
    switch (popupKey ? QEvent::None : e->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(e);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ActSetDefaultExecute();
            return true;
        }
        // Esc acts on its release.
        if (key->key() == Qt::Key_Escape)
            return true;
        break;
    }
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(e);
        if ((key->key() == Qt::Key_Escape || key->key() == Qt::Key_Space) && m_keyRule->accepts(key)) {
            if (key->key() == Qt::Key_Escape)
                reject();
            else
                ActSetDefaultExecute();
            return key->key() == Qt::Key_Escape;
        }
        break;
    }
    case QEvent::FocusIn:
        if (watched == ListView1)
            KeyState();
        break;
    case QEvent::FocusOut:
        if (watched == ListView1 && static_cast<QFocusEvent *>(e)->reason() != Qt::PopupFocusReason)
            KeyState();
        break;
    case QEvent::MouseButtonRelease:
        if (watched == ListView1->viewport())
            KeyState();
        break;
    case QEvent::ContextMenu:
        // The window has one menu: the keyboard reaches it from the buttons too, which matters
        // when the list is empty and takes no focus.
        if (watched != ListView1 && watched != ListView1->viewport() && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == this) {
            KeyState();
            PopupMenu1->popup(ListView1->mapToGlobal(ListView1->rect().center()));
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, e);
}
