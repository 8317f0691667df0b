#pragma once

#include <QString>

#include <functional>

class QWidget;

// The main window's Tools > Backup / Restore commands: file dialog, progress dialog with
// Cancel, the confirmation and the closing message. The work is done by backup/CatalogBackup.
void BackupArchivesToFile(QWidget *parent);
void RestoreArchivesFromFile(QWidget *parent);
void MergeArchivesFromFile(QWidget *parent);
// The main window's Catalog > Import from Other Catalog...: the file dialog, the volumes found
// (TfrmImport), the import under a progress dialog with Cancel and its summary.
void ImportFromOtherCatalog(QWidget *parent);

// Tests answer the file dialogs (the import's too): called with whether a file is to be saved
// and the proposed path; an empty answer is Cancel.
using ZipFileChooser = std::function<QString(bool save, const QString &proposed)>;
void setZipFileChooserForTesting(ZipFileChooser chooser);
// Tests stand in for the user at the import's list of volumes: called instead of showing it
// modally, it returns the window's result.
class TfrmImport;
void setImportWindowHandlerForTesting(std::function<int(TfrmImport &)> handler);
