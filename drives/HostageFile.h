#pragma once

#include <QString>

// The disc handled last, named by the path of a file its walk recorded: while that file can be
// found, the disc in the read device is taken to be that disc, and a wait opens the tray for
// the next one. The walk that finds it empty sets it; a medium arriving during a wait empties
// it. The walk and the wait are each given the one they share.
class HostageFile
{
public:
    virtual ~HostageFile() = default;
    // Empty when there is none.
    virtual QString path() const = 0;
    // An empty path frees the disc.
    virtual void set(const QString &path) = 0;
};

// The program's: "HostageFile" in key V of the settings store, so it holds for the next start
// and for every copy of the program (the window and ambrylog-cli). A value of the wrong type
// reads as none.
HostageFile &settingsHostageFile();
