#pragma once

#include <QStringList>

#include <cstdio>
#include <optional>

// The desktop program's --help and --version, answered before any window or display is
// needed. Every other argument keeps its meaning: any argument at all starts the program
// minimised (the autostart entry passes "tag"). Gives the exit code when the arguments asked
// for one of the two and the answer was printed to out; nothing otherwise.
std::optional<int> answerInformationArguments(const QStringList &arguments, std::FILE *out);

QString programHelpText();
