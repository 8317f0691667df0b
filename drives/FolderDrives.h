#pragma once

#include <QString>

// Folder drives: a letter bound to a folder (a mount point, a disc image's mount, any folder)
// in the settings key RegKey::Drives, so volumes other than optical discs are read like discs.
// The read device window and `ambrylog-cli drives bind/unbind` both go through here.
namespace folderdrives {

struct BindOutcome
{
    bool bound = false;
    QString folder; // the absolute, cleaned folder stored for the letter
    QString error;  // why nothing was bound
};

// Binds the letter to an existing folder; refuses the root file system's letter, an optical
// drive's letter, and anything that is not an existing folder.
BindOutcome bind(char letter, const QString &folder);
// False when no folder was bound to the letter. A read device that was this letter is given
// up (in memory and in the settings): there is none until the user chooses one.
bool unbind(char letter);
// The first letter from Z downward that has no drive behind it; 0 when every letter is taken.
char firstFreeLetter();

} // namespace folderdrives
