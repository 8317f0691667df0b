#pragma once

#include "backup/CatalogImportJob.h"

#include <QDialog>

class ImportVolumeList;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

// The volumes an import found: the user unticks the ones to leave, changes marks, and for
// dates the file cannot tell says how they are written; Import takes the rest.
class TfrmImport : public QDialog
{
    Q_OBJECT
public:
    TfrmImport(const backup::ImportSurvey &survey, const QString &formatTitle, const QString &path,
               QWidget *parent = nullptr);

    backup::ImportChoice choice() const;
    catimport::DateOrder dateOrder() const;
    ImportVolumeList *volumes() const { return m_volumes; }

    QTableView *lvVolumes = nullptr;
    QComboBox *cbDateOrder = nullptr;
    QPushButton *btnImport = nullptr;
    QPushButton *btnCancel = nullptr;
    QLabel *lblSource = nullptr;

private:
    void KeyState();
    ImportVolumeList *m_volumes = nullptr;
};
