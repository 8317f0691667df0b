#pragma once

#include "util/CliCommand.h"

// ambrylog-cli commands that back up, restore and merge the catalog as zip files, and import
// other programs' catalogs.
const CliCommand &backupCommand();  // backup FILE.zip
const CliCommand &restoreCommand(); // restore FILE.zip [--yes]
const CliCommand &mergeCommand();   // merge FILE.zip
const CliCommand &importCommand();  // import FILE [--format NAME] [--dry-run] [--mark-prefix TEXT] ...
