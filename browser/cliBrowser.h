#pragma once

#include "util/CliCommand.h"

#include <QString>

namespace catalog {
class Catalog;
}

// ambrylog-cli commands of the catalog browser.
const CliCommand &listCommand();   // list [--sort COLUMN] [--reverse] [--format tsv|json] [--totals]
const CliCommand &editCommand();   // edit MARK [--mark NEW] [--location TEXT] [--note TEXT]
const CliCommand &removeCommand(); // remove MARK... [--yes]
const CliCommand &lsCommand();     // ls MARK [PATH] [--recursive] [--format tsv|json]
const CliCommand &treeCommand();   // tree MARK [PATH] [--depth N]

// The one archive with the mark in *path; otherwise the exit code (8 none, 1 several), after
// saying why on standard error.
int findArchiveByMark(const CliContext &ctx, const catalog::Catalog &catalog, const QString &mark,
                      QString *path);

// A size as `tree -h` shows it: bytes below 1024 in four places, else one decimal below 10 and
// none above, with K, M, G, ... (powers of 1024); "   ?" for an unknown size.
QString humanSize(qint64 bytes, bool known);
