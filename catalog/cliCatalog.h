#pragma once

#include "util/CliCommand.h"

// ambrylog-cli commands over the catalog store.
const CliCommand &checksumCommand();   // checksum FILE
const CliCommand &valueCommand();      // value ARCHIVE KEY
const CliCommand &nextNumberCommand(); // next-number
const CliCommand &markExistsCommand(); // mark-exists MARK: "yes" (0) or "no" (1); 2 on errors
