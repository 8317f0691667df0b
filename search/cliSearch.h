#pragma once

#include "util/CliCommand.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// ambrylog-cli search: the search window's engine and walk with the window's defaults.
const CliCommand &searchCommand();
enum CliSearchExit {
    CliSearchDamaged = 3,    // damaged archives were skipped
    CliSearchNoSuchMark = 8, // --only-mark names a mark no archive has
    CliSearchGaveUp = 9,     // the regular expression gave up on some records
};

// The same with the catalog folder and the output streams given (for tests).
int runSearchCommand(const QStringList &args, const QString &catalogFolder, std::FILE *out, std::FILE *err);
