#pragma once

#include "CliCommand.h"

// ambrylog-cli commands over the catalog store.
int cliChecksum(CliContext &ctx);   // checksum FILE
int cliValue(CliContext &ctx);      // value ARCHIVE KEY
int cliNextNumber(CliContext &ctx); // next-number
int cliMarkExists(CliContext &ctx); // mark-exists MARK: "yes" (0) or "no" (1); 2 on errors
