#pragma once

#include "util/CliCommand.h"

// ambrylog-cli get MARK PATH [--to DIR] [--wait SECONDS]
// Fetches one file of a catalogued disc through the retrieval session, waiting for the disc in
// the read device when it is not there. Exit codes:
enum CliGetExit {
    CliGetCopied = 0,
    CliGetError = 1,
    CliGetWrongDisc = 6,
    CliGetTimedOut = 7,
    CliGetNotCatalogued = 8, // no archive has the mark, or it has no such file
};
const CliCommand &getCommand();
