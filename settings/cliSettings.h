#pragma once

#include "util/CliCommand.h"

// ambrylog-cli setting get KEY NAME | set KEY NAME VALUE | delete KEY NAME
// KEY is V, S, S\wp (or wp), Drives, Run, or a full key path starting with "\".
const CliCommand &settingCommand();

// The key path for a short key name as the command accepts it; empty when unknown.
QString cliSettingKey(const QString &arg);
