#pragma once

#include <QString>

#include "gRegistry.h" // takeSettingsNotice(): shown once by the main window after start-up

// The folder part of the entry sequence, shared by the desktop program and ambrylog-cli.

inline const QString kNoDataFolderMessage =
    QStringLiteral("Cannot establish Roaming Application Data folder!");

// Fills gVars(): programFolder (folder of the executable), dataFolder
// (<data home>/Brightfen/Ambrylog/) and catalogFolder (dataFolder + "Archive/"), and creates
// the data and catalog folders. False, with kNoDataFolderMessage in *error, when the data home
// cannot be determined or the data folder cannot be created; the program then shows the
// message and ends with exit code 1. A catalog folder that cannot be created is not reported
// here; writing into it fails later.
bool establishFolders(QString *error);

// Records where the program was started from ("ProgramLocation" in key V).
void writeProgramLocation();
