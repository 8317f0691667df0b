#pragma once

#include "util/CliCommand.h"

class QString;

// The drive letter a command-line argument names ("q", "Q" or "Q:"); 0 when it names none.
char parseDriveLetterArg(const QString &arg);

// ambrylog-cli drives [bind LETTER FOLDER | unbind LETTER | default LETTER]
const CliCommand &drivesCommand();
