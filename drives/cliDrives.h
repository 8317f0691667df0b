#pragma once

struct CliContext;

// ambrylog-cli drives [bind LETTER FOLDER | unbind LETTER | default LETTER]
int cliDrives(CliContext &ctx);
