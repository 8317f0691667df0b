#pragma once

#include "util/CliCommand.h"

// ambrylog-cli commands that back up, restore and merge the catalog as zip files.
const CliCommand &backupCommand();  // backup FILE.zip
const CliCommand &restoreCommand(); // restore FILE.zip [--yes]
const CliCommand &mergeCommand();   // merge FILE.zip
