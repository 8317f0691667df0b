#pragma once

#include "CliCommand.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// ambrylog-cli search [TEXT] [--advanced] [--fields marks,dirs,files,types] [--case]
//   [--from DD/MM/YYYY --to DD/MM/YYYY] [--at-least N | --at-most N]
//   [--unit Bytes|KiloBytes|MegaBytes|GigaBytes] [--only-mark MARK] [--count] [--format tsv|json]
// The search window's engine and walk with the window's defaults. Exit code 0, 3 when damaged
// archives were named on standard error, 1 on any other error.
int cliSearch(CliContext &ctx);

// The same with the catalog folder and the output streams given (for tests).
int runSearchCommand(const QStringList &args, const QString &catalogFolder, std::FILE *out, std::FILE *err);
