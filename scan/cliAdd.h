#pragma once

#include "util/CliCommand.h"

// ambrylog-cli add (--drive LETTER | --folder PATH) [--mark MARK] [--location TEXT]
//                  [--note TEXT] [--eject]
// Adds the disc in a drive (or a folder, walked as a folder drive would be) to the catalog
// with the add-disc window's rules. Exit codes:
enum CliAddExit {
    CliAddSaved = 0,
    CliAddError = 1,
    CliAddAlreadyArchived = 2,
    CliAddEmpty = 3,
    CliAddAudioDisc = 4,
    CliAddMarkUsed = 5,
    CliAddIncomplete = 9, // saved, but folders that could not be read are missing from it
};
const CliCommand &addCommand();
