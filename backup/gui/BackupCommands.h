#pragma once

#include <QString>

#include <functional>

class QWidget;

// The main window's Tools > Backup / Restore commands: file dialog, progress dialog with
// Cancel, the confirmation and the closing message. The work is done by backup/CatalogBackup.
void BackupArchivesToFile(QWidget *parent);
void RestoreArchivesFromFile(QWidget *parent);
void MergeArchivesFromFile(QWidget *parent);

// Tests answer the file dialogs: called with whether a file is to be saved and the proposed
// path; an empty answer is Cancel.
using ZipFileChooser = std::function<QString(bool save, const QString &proposed)>;
void setZipFileChooserForTesting(ZipFileChooser chooser);
