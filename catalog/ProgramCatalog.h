#pragma once

#include "Catalog.h"

#include <memory>

// Where the program's catalog comes from: the one place that builds a Catalog for the windows
// and for ambrylog-cli, numbered through the settings store.

namespace catalog {

// "LastArchiveNumber" in key V of the settings store.
std::shared_ptr<NumberStore> settingsNumberStore();

// The catalog the windows work on: the shared catalog folder (established at start-up).
Catalog programCatalog();

// ambrylog-cli's catalog: the --catalog argument made absolute (links in it kept), or the
// user's catalog folder (created when missing) when the argument is empty; it becomes the
// shared catalog folder too. Throws AmbryError when a given folder does not exist or the
// user's cannot be established.
Catalog commandLineCatalog(const QString &cliArg);

} // namespace catalog
