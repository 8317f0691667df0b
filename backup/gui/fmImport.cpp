#include "fmImport.h"

#include "backup/ImportVolumeList.h"
#include "util/gui/WindowLook.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TfrmImport::TfrmImport(const backup::ImportSurvey &survey, const QString &formatTitle, const QString &path,
                       QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Ambrylog"));
    look::applyLightPalette(this);
    look::setSizableFrame(this);
    resize(640, 400);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(look::makeTopBand(this, QStringLiteral("pnlTop"), QStringLiteral("lblHeading"),
                                        QStringLiteral("Import from Other Catalog")));

    auto *body = new QVBoxLayout;
    body->setContentsMargins(8, 8, 8, 8);
    QString source = QStringLiteral("%1 catalog %2: %3 volumes found.")
                         .arg(formatTitle, QDir::toNativeSeparators(path))
                         .arg(survey.volumes.size());
    if (!survey.damage.isEmpty())
        source += QStringLiteral("\nThe file is damaged; only the volumes before the damage are listed: ") +
                  survey.damage;
    lblSource = new QLabel(source, this);
    lblSource->setObjectName(QStringLiteral("lblSource"));
    lblSource->setWordWrap(true);
    body->addWidget(lblSource);

    m_volumes = new ImportVolumeList(this);
    m_volumes->setVolumes(survey.volumes);
    lvVolumes = new QTableView(this);
    lvVolumes->setObjectName(QStringLiteral("lvVolumes"));
    lvVolumes->setAccessibleName(QStringLiteral("Volumes found"));
    lvVolumes->setModel(m_volumes);
    lvVolumes->verticalHeader()->hide();
    lvVolumes->horizontalHeader()->setStretchLastSection(true);
    lvVolumes->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvVolumes->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::SelectedClicked);
    lvVolumes->setColumnWidth(ImportVolumeList::MarkColumn, 220);
    body->addWidget(lvVolumes, 1);

    // Only VVV's dates can leave the order open.
    auto *dates = new QHBoxLayout;
    auto *lblDates = new QLabel(QStringLiteral("&Dates in the file:"), this);
    lblDates->setObjectName(QStringLiteral("lblDateOrder"));
    cbDateOrder = new QComboBox(this);
    cbDateOrder->setObjectName(QStringLiteral("cbDateOrder"));
    cbDateOrder->addItem(QStringLiteral("Day first (31/12/2001)"), int(catimport::DateOrder::DayMonthYear));
    cbDateOrder->addItem(QStringLiteral("Month first (12/31/2001)"), int(catimport::DateOrder::MonthDayYear));
    cbDateOrder->addItem(QStringLiteral("Year first (2001-12-31)"), int(catimport::DateOrder::YearMonthDay));
    cbDateOrder->setCurrentIndex(cbDateOrder->findData(int(catimport::systemDateOrder())));
    lblDates->setBuddy(cbDateOrder);
    dates->addWidget(lblDates);
    dates->addWidget(cbDateOrder);
    dates->addStretch(1);
    lblDates->setVisible(survey.ambiguousDates);
    cbDateOrder->setVisible(survey.ambiguousDates);
    body->addLayout(dates);
    layout->addLayout(body, 1);

    btnImport = new QPushButton(QStringLiteral("Import"), this);
    btnImport->setObjectName(QStringLiteral("btnImport"));
    btnImport->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(look::makeButtonBand(this, QStringLiteral("pnlButtons"), {btnImport, btnCancel}));
    connect(btnImport, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_volumes, &QAbstractItemModel::dataChanged, this, &TfrmImport::KeyState);
    KeyState();
}

void TfrmImport::KeyState()
{
    btnImport->setEnabled(m_volumes->tickedCount() > 0);
}

backup::ImportChoice TfrmImport::choice() const
{
    return m_volumes->choice();
}

catimport::DateOrder TfrmImport::dateOrder() const
{
    // Unless asked, the file's own order (or the one it shows) stands.
    if (!cbDateOrder->isVisibleTo(this))
        return catimport::DateOrder::Unknown;
    return catimport::DateOrder(cbDateOrder->currentData().toInt());
}
