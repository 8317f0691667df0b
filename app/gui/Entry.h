#pragma once

// The program from start to end: one running copy per user, the folders, the main window,
// the one-time welcome window and the event loop. Returns the process's exit code.
int runAmbrylog(int &argc, char **argv);
