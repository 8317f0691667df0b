#include "fmAbout.h"

#include "AppLinks.h"
#include "app/AboutFacts.h"
#include "settings/gVars.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/WindowLook.h"
#include "util/gui/gUtilsGui.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

void initAppGuiResources();

namespace {

constexpr int ClientWidth = 492;
constexpr int ClientHeight = 394;
constexpr int CaptionLeft = 57;

QPointer<TfrmAbout> &openAbout()
{
    static QPointer<TfrmAbout> window;
    return window;
}

QFont pixelFont(QFont font, int pixels, bool bold)
{
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

int ShowAboutWindow()
{
    if (TfrmAbout *open = openAbout()) {
        open->reject();
        return 0;
    }
    auto *window = new TfrmAbout;
    openAbout() = window;
    return runModalWindow(window);
}

TfrmAbout *TfrmAbout::instance()
{
    return openAbout();
}

TfrmAbout::TfrmAbout(QWidget *parent) : QDialog(parent)
{
    initAppGuiResources();
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::setDialogFrame(this, true);
    look::applyLightPalette(this);
    setFixedSize(ClientWidth, ClientHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    Panel1 = look::makeTopBand(this, QStringLiteral("Panel1"), QStringLiteral("Label10"),
                               QStringLiteral("About"), look::BandRed, &Label10);
    column->addWidget(Panel1);
    column->addStretch(1);
    btnCancel = new QPushButton(QStringLiteral("Close"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setMinimumWidth(59);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    Panel2 = look::makeButtonBand(this, QStringLiteral("Panel2"), {btnCancel}, look::BandRed);
    column->addWidget(Panel2);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(17, 42, 32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/art/ambrylog.svg")).pixmap(QSize(32, 32)));

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(57, 47, 424, 20);
    lblTitle->setFont(pixelFont(lblTitle->font(), 16, true));
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(57, 68, 424, 43);
    lblVersion->setFont(pixelFont(lblVersion->font(), 11, true));
    lblVersion->setWordWrap(true);
    lblVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel *l : {lblTitle, lblVersion}) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, look::BandBlue);
        l->setPalette(pal);
    }

    // The values start right of the widest caption, whatever the desktop's font.
    const QFontMetrics fm(font());
    int widest = 0;
    for (const char *text : {"Support e-mail:", "Memory available:", "System resources:",
                             "Application folder:", "Application data folder:"})
        widest = qMax(widest, fm.horizontalAdvance(QLatin1String(text)));
    m_valueLeft = CaptionLeft + widest + 12;

    caption(QStringLiteral("Home page:"), QStringLiteral("Label1"), 128);
    lblHomePage = link(QStringLiteral("lblHomePage"), 128);
    caption(QStringLiteral("Support e-mail:"), QStringLiteral("Label2"), 150);
    lblSupportMail = link(QStringLiteral("lblSupportMail"), 150);
    caption(QStringLiteral("Newsletter:"), QStringLiteral("Label3"), 172);
    lblNewsletter = link(QStringLiteral("lblNewsletter"), 172);

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(14, 250, 100, 30);
    Image2->setPixmap(QIcon(QStringLiteral(":/art/about_discs.svg")).pixmap(QSize(100, 30)));
    Shape1 = new QWidget(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(114, 265, 368, 2);
    Shape1->setAutoFillBackground(true);
    QPalette black = Shape1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Shape1->setPalette(black);

    caption(QStringLiteral("Memory available:"), QStringLiteral("Label6"), 282);
    Label4 = value(QStringLiteral("Label4"), 282);
    caption(QStringLiteral("System resources:"), QStringLiteral("Label7"), 300);
    Label5 = value(QStringLiteral("Label5"), 300);
    caption(QStringLiteral("Application folder:"), QStringLiteral("Label9"), 322);
    edtAppFolder = folderField(QStringLiteral("edtAppFolder"), QStringLiteral("Application folder"), 322);
    caption(QStringLiteral("Application data folder:"), QStringLiteral("Label8"), 340);
    edtTntRoamingAppDataFolder = folderField(QStringLiteral("edtTntRoamingAppDataFolder"),
                                             QStringLiteral("Application data folder"), 340);

    // Switching to another program closes the window.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && isVisible())
            reject();
    });

    m_keyRule = new KeyReleaseRule(this);
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    FormActivate();
}

TfrmAbout::~TfrmAbout() = default;

QLabel *TfrmAbout::caption(const QString &text, const QString &name, int y)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    label->setGeometry(CaptionLeft, y, m_valueLeft - CaptionLeft - 4, 18);
    return label;
}

QLabel *TfrmAbout::value(const QString &name, int y)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    label->setGeometry(m_valueLeft, y, ClientWidth - 8 - m_valueLeft, 18);
    return label;
}

QLabel *TfrmAbout::link(const QString &name, int y)
{
    QLabel *label = value(name, y);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 238));
    label->setPalette(pal);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

QPlainTextEdit *TfrmAbout::folderField(const QString &name, const QString &caption, int y)
{
    auto *edit = new QPlainTextEdit(this);
    edit->setObjectName(name);
    edit->setAccessibleName(caption);
    edit->setGeometry(m_valueLeft, y, ClientWidth - 8 - m_valueLeft, 18);
    edit->setFrameShape(QFrame::NoFrame);
    edit->setReadOnly(true);
    // A long path wraps wherever it must instead of being cut at the window's edge.
    edit->setWordWrapMode(QTextOption::WrapAnywhere);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->document()->setDocumentMargin(0);
    edit->viewport()->setAutoFillBackground(false);
    // Selectable and copyable with the mouse, but Tab passes it by.
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setTabChangesFocus(true);
    return edit;
}

void TfrmAbout::placeFolderFields()
{
    // Each path as many lines tall as it needs; the window grows by what the lines add.
    int y = 322;
    int added = 0;
    for (QPlainTextEdit *e : {edtAppFolder, edtTntRoamingAppDataFolder}) {
        const QRect needed = e->fontMetrics().boundingRect(QRect(0, 0, e->width(), 10000),
                                                           Qt::TextWrapAnywhere, e->toPlainText());
        const int height = qMax(18, needed.height() + 2);
        e->setGeometry(e->x(), y, e->width(), height);
        findChild<QLabel *>(e == edtAppFolder ? QStringLiteral("Label9") : QStringLiteral("Label8"))
            ->move(CaptionLeft, y);
        y += height;
        added += height - 18;
    }
    setFixedSize(ClientWidth, ClientHeight + added);
}

void TfrmAbout::FormActivate()
{
    setWindowTitle(QStringLiteral("Ambrylog"));
    lblTitle->setText(QStringLiteral("Ambrylog"));
    lblVersion->setText(aboutLines(QStringLiteral(AMBRY_VERSION)).join(QLatin1Char('\n')));
    lblHomePage->setText(links::HomePage);
    lblSupportMail->setText(links::SupportMail);
    lblNewsletter->setText(links::Newsletter);
    for (QLabel *l : {lblHomePage, lblSupportMail, lblNewsletter})
        l->setAccessibleName(l->text());
    const MemoryStatus memory = readMemoryStatus();
    Label4->setText(memoryTotalText(memory));
    Label5->setText(memoryLoadText(memory));
    edtAppFolder->setPlainText(gVars().programFolder);
    edtTntRoamingAppDataFolder->setPlainText(gVars().dataFolder);
    placeFolderFields();
}

void TfrmAbout::lblHomePageClick()
{
    OpenWithShell(nullptr, links::HomePage);
}

void TfrmAbout::lblSupportMailClick()
{
    ComposeMail(nullptr, links::SupportMail, QString(), QString());
}

void TfrmAbout::lblNewsletterClick()
{
    OpenWithShell(nullptr, links::Newsletter);
}

void TfrmAbout::paintEvent(QPaintEvent *e)
{
    QDialog::paintEvent(e);
    // Behind every control.
    QPainter p(this);
    for (const PatternSquare &s : aboutPattern(width()))
        p.fillRect(s.rect, QColor(s.grey, s.grey, s.grey));
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(e)->button() != Qt::LeftButton)
            break;
        if (watched == lblHomePage)
            lblHomePageClick();
        else if (watched == lblSupportMail)
            lblSupportMailClick();
        else if (watched == lblNewsletter)
            lblNewsletterClick();
        break;
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(e);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            reject();
            return true;
        }
        if (key->key() == Qt::Key_Escape)
            return true; // acts on its release
        break;
    }
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(e);
        if (key->key() == Qt::Key_Escape && m_keyRule->accepts(key)) {
            reject();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, e);
}
