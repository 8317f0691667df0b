#pragma once

#include "util/CliCommand.h"

// ambrylog-cli commands of the catalog browser.
const CliCommand &listCommand();   // list [--sort COLUMN] [--reverse] [--format tsv|json] [--totals]
const CliCommand &editCommand();   // edit MARK [--mark NEW] [--location TEXT] [--note TEXT]
const CliCommand &removeCommand(); // remove MARK... [--yes]
