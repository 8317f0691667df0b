#include "fmThanx.h"

#include "settings/gRegistry.h"
#include "util/gui/KeyReleaseRule.h"
#include "util/gui/WindowLook.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

void initAppGuiResources();

namespace {
QPointer<TfrmThanx> &openThanx()
{
    static QPointer<TfrmThanx> w;
    return w;
}
} // namespace

int ShowThanx(const QString &key, const QString &name, const QString &product, QWidget *parent)
{
    if (!ReadSetting(key, name).isEmpty() || openThanx())
        return 0;
    auto *w = new TfrmThanx(key, name, product, parent);
    openThanx() = w;
    const int result = w->exec();
    QCoreApplication::processEvents();
    delete w;
    return result;
}

TfrmThanx::TfrmThanx(const QString &key, const QString &name, const QString &product, QWidget *parent)
    : QDialog(parent), m_key(key), m_name(name)
{
    initAppGuiResources();
    setObjectName(QStringLiteral("frmThanx"));
    setWindowTitle(product);
    look::setDialogFrame(this);
    look::applyLightPalette(this);
    setFixedSize(449, 221);
    m_releaseRule = new KeyReleaseRule(this);

    Panel1 = look::makeTopBand(this, QStringLiteral("Panel1"), QStringLiteral("Label1"),
                               QStringLiteral("Welcome"), look::BandRed, &Label1);
    Panel1->setGeometry(0, 0, width(), look::BandHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(18, 44, 64, 48);
    Image1->setPixmap(QIcon(QStringLiteral(":/art/welcome.svg")).pixmap(QSize(64, 48)));

    lbl1 = new QLabel(QStringLiteral("Thank you using ") + product + QStringLiteral("!"), this);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    QFont bold = lbl1->font();
    bold.setBold(true);
    lbl1->setFont(bold);
    lbl1->adjustSize();
    lbl1->move(102, 59);

    lbl2 = new QLabel(QStringLiteral("We encourage you to visit our web site for more Brightfen products.\n"
                                     "We will be happy to answer your questions or hear your concerns.\n"
                                     "\n"
                                     "\n"
                                     "With regards, Brightfen programmers"),
                      this);
    lbl2->setObjectName(QStringLiteral("lbl2"));
    // The design's small dialog font; wrapped so wide desktop fonts stay inside the window.
    QFont small = lbl2->font();
    small.setPixelSize(11);
    lbl2->setFont(small);
    lbl2->setWordWrap(true);
    lbl2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setMinimumWidth(59);
    btnOK->setDefault(true);
    Panel2 = look::makeButtonBand(this, QStringLiteral("Panel2"), {btnOK}, look::BandRed);
    const int bottomHeight = Panel2->sizeHint().height();
    Panel2->setGeometry(0, height() - bottomHeight, width(), bottomHeight);
    lbl2->setGeometry(102, 91, width() - 102 - 10, height() - bottomHeight - 91 - 2);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->geometry();
        move(avail.x() + (avail.width() - width()) / 2, avail.y() + (avail.height() - height()) / 2);
    }
}

void TfrmThanx::done(int result)
{
    WriteSetting(m_key, m_name, QStringLiteral("T"));
    QDialog::done(result);
}

void TfrmThanx::keyPressEvent(QKeyEvent *event)
{
    // Esc acts when it is released (below), with the result OK rather than Cancel.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmThanx::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_releaseRule->accepts(event)) {
        accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}
