#pragma once

// One archive's fields for a listing of the catalog: read from the end of the file (the whole
// file only when it is small or its field block is unusually long), records never parsed.
// Cheap enough for 100,000 archives; keeps no state, so it may be called from any thread.

#include <QString>

struct ArchiveFieldValues
{
    enum class State {
        Sound,
        Damaged,    // by the rule of ArchiveLayout.h; the values are what it still shows
        Unreadable, // could not be opened or read; the values are empty
        Missing,    // gone since it was listed; the values are empty
    };

    // Each field's value exactly as stored (untrimmed), empty when the field is missing.
    QString date, mark, location, files, dirs, note, size, number;

    State state = State::Sound;
    // Why it is damaged or unreadable, a short text; empty when sound.
    QString problem;
    // Whether the record section was judged too (the whole file was read): a damage there
    // (a NUL, records that do not match AFiles) is otherwise found only by reading it all.
    bool recordsJudged = false;
};

// checkRecords: read the whole file and judge the record section as well, as the search does.
ArchiveFieldValues readArchiveFields(const QString &path, bool checkRecords = false);
