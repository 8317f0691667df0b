#include "fmPropreties.h"

#include "util/gui/KeyReleaseRule.h"
#include "util/gui/WindowLook.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

TfrmPropreties *s_instance = nullptr;

constexpr int kCaptionLeft = 8;
constexpr int kValueLeft = 112;
constexpr int kBevelWidth = 320;

} // namespace

TfrmPropreties::TfrmPropreties(QWidget *parent) : QDialog(parent)
{
    look::setDialogFrame(this, true);
    s_instance = this;
    setObjectName(QStringLiteral("frmPropreties"));
    look::applyLightPalette(this);
    m_releaseRule = new KeyReleaseRule(this);
    setFixedSize(336, 378);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = look::makeTopBand(this, QStringLiteral("Panel1"), QStringLiteral("Label10"),
                               QStringLiteral("File propreties"), look::BandBlue, &Label10);
    column->addWidget(Panel1);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBox1->horizontalScrollBar()->setTracking(true);
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("ScrollBox1Content"));
    m_content->setAutoFillBackground(true);
    ScrollBox1->setWidget(m_content);
    ScrollBox1->viewport()->installEventFilter(this);
    column->addWidget(ScrollBox1, 1);

    const auto caption = [this](const char *name, const char *text) {
        auto *label = new QLabel(QString::fromLatin1(text), m_content);
        label->setObjectName(QString::fromLatin1(name));
        return label;
    };
    const auto value = [this](const char *name, QLabel *buddy) {
        auto *label = new QLabel(m_content);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Screen readers announce the value with its caption.
        label->setAccessibleName(buddy->text());
        return label;
    };
    const auto bevel = [this](const char *name) {
        auto *line = new QFrame(m_content);
        line->setObjectName(QString::fromLatin1(name));
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    };
    Label6 = caption("Label6", "CD/DVD mark:");
    lblMark = value("lblMark", Label6);
    Label7 = caption("Label7", "Location:");
    lblLocation = value("lblLocation", Label7);
    L1 = bevel("L1");
    Label1 = caption("Label1", "Directory path:");
    lblDir = value("lblDir", Label1);
    Label2 = caption("Label2", "File name:");
    lblFile = value("lblFile", Label2);
    Label3 = caption("Label3", "Type:");
    lblType = value("lblType", Label3);
    L2 = bevel("L2");
    Label4 = caption("Label4", "Date modified:");
    lblDate = value("lblDate", Label4);
    Label5 = caption("Label5", "Size:");
    lblSize = value("lblSize", Label5);
    L3 = bevel("L3");
    QFont bold = lblMark->font();
    bold.setBold(true);
    for (QLabel *label : {lblMark, lblLocation, lblDir, lblFile, lblType, lblDate, lblSize})
        label->setFont(bold);

    btnCancel = new QPushButton(QStringLiteral("Close"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    Panel2 = look::makeButtonBand(this, QStringLiteral("Panel2"), {btnCancel});
    column->addWidget(Panel2);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPropreties::btnCancelClick);

    // The window sees every key before its controls.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    layoutContent();
    FormCreate();
}

TfrmPropreties::~TfrmPropreties()
{
    if (s_instance == this)
        s_instance = nullptr;
}

TfrmPropreties *TfrmPropreties::instance()
{
    return s_instance;
}

void TfrmPropreties::FormCreate()
{
    setWindowTitle(QStringLiteral("Ambrylog"));
    // Over the search window it was opened from; on its own, in the middle of the screen.
    if (QWidget *owner = parentWidget()) {
        move(owner->window()->geometry().center() - rect().center());
    } else if (QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TfrmPropreties::setFields(const QString &mark, const QString &directory, const QString &file,
                               const QString &type, const QString &date, const QString &size,
                               const QString &location)
{
    // A long path or name is shortened in the middle to the window's width, whole in its tool
    // tip, so the window never needs a horizontal scroll bar.
    const auto fit = [](QLabel *label, const QString &text, const QString &tail = QString()) {
        const int room =
            kCaptionLeft + kBevelWidth - kValueLeft - label->fontMetrics().horizontalAdvance(tail);
        const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, room);
        label->setText(shown + tail);
        label->setToolTip(shown == text ? QString() : text);
    };
    lblMark->setText(mark);
    fit(lblLocation, location);
    fit(lblDir, directory, QStringLiteral("      "));
    fit(lblFile, file);
    lblType->setText(type);
    lblDate->setText(date);
    lblSize->setText(size + QStringLiteral(" bytes"));
    layoutContent();
}

void TfrmPropreties::layoutContent()
{
    struct Row
    {
        QLabel *caption;
        QLabel *value;
        int top;
    };
    // The location, where the disc is to be found, right under its mark.
    const Row rows[] = {{Label6, lblMark, 16},  {Label7, lblLocation, 36}, {Label1, lblDir, 76},
                        {Label2, lblFile, 100}, {Label3, lblType, 124},    {Label4, lblDate, 164},
                        {Label5, lblSize, 188}};
    int right = kCaptionLeft + kBevelWidth;
    for (const Row &row : rows) {
        row.caption->adjustSize();
        row.caption->move(kCaptionLeft, row.top);
        // Value labels size themselves to their text; a long path widens the content.
        row.value->adjustSize();
        row.value->move(kValueLeft, row.top);
        right = std::max(right, row.value->geometry().right() + 1);
    }
    L1->setGeometry(kCaptionLeft, 62, kBevelWidth, 2);
    L2->setGeometry(kCaptionLeft, 150, kBevelWidth, 2);
    L3->setGeometry(kCaptionLeft, 214, kBevelWidth, 2);
    m_content->resize(right + kCaptionLeft, 230);
    ScrollBox1Resize();
}

void TfrmPropreties::ScrollBox1Resize()
{
    // When the content is wider than the box, the bevels follow the scrolled content.
    const int contentWidth = m_content->width();
    const int visible = ScrollBox1->viewport()->width();
    const int width = contentWidth > visible ? contentWidth - 15 : kBevelWidth;
    for (QFrame *line : {L1, L2, L3})
        line->resize(width, line->height());
}

void TfrmPropreties::btnCancelClick()
{
    done(QDialog::Rejected);
}

bool TfrmPropreties::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == ScrollBox1->viewport() && e->type() == QEvent::Resize)
        ScrollBox1Resize();
    if (e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent *>(e));
        if (e->isAccepted())
            return true;
    } else if (e->type() == QEvent::KeyRelease) {
        keyReleaseEvent(static_cast<QKeyEvent *>(e));
        if (e->isAccepted())
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmPropreties::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        done(QDialog::Rejected);
        e->accept();
        return;
    }
    // Esc closes on its release.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    e->ignore();
}

void TfrmPropreties::keyReleaseEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && m_releaseRule->accepts(e)) {
        done(QDialog::Rejected);
        e->accept();
        return;
    }
    e->ignore();
}
