#pragma once

#include <QString>
#include <QStringList>

// What every ambrylog-cli command receives. catalogFolder is the --catalog argument as given
// (empty: the user's catalog folder, created when missing); use resolvedCatalogFolder().
struct CliContext
{
    QString catalogFolder;
    QStringList args; // the command's own arguments
};

// Prints to standard output / standard error as UTF-8 with a line end.
void cliOut(const QString &line);
void cliErr(const QString &line);
