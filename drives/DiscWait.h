#pragma once

#include <QString>

#include "util/gUtils.h"

class HostageFile;

// One wait for a disc in the read device, without a window: what the wait finds when it starts
// (the hostage-file rule included) and what a medium arriving during it means. The wait window
// shows what this decides; the command line waits with run().
class DiscWait
{
public:
    enum class State {
        NoDevice,    // no read device: nothing to wait on
        Waiting,     // the drive is empty or holds the disc handled last; the tray was opened
        DiscPresent, // a fresh disc is in: the wait ends by itself
    };
    enum class Result { Arrived, NoDevice, TimedOut };

    // How long the window shows a fresh disc before the wait ends by itself.
    static constexpr int kPresentMs = 500;

    // readDevice: the read device letter, 0 when there is none. hostage: the disc handled last,
    // as the walk that recorded it left it; a medium arriving frees it.
    DiscWait(char readDevice, HostageFile &hostage);

    // Looks at the read device as the wait starts; opens the tray when the state is Waiting.
    State start();
    State state() const { return m_state; }
    // What the user reads in the state: the caller's request (or the default one) while waiting.
    QString message(const QString &request) const;

    // A volume notice during the wait. Any medium that arrives frees the hostage disc; true when
    // it arrived in the read device, which ends the wait.
    bool mediumArrived(const VolumeNotice &notice);
    // The line under a request that helps find the disc: "Kept at: " with the archive's location
    // and note, empty when it has neither.
    static QString keptAt(const QString &location, const QString &note);
    // The user says the disc is in: the tray closes.
    void confirm();

    // The whole wait without a window, on the drive layer's media arrivals: Arrived as soon as a
    // fresh disc is found in the drive or arrives, TimedOut after timeoutMs.
    Result run(int timeoutMs);

private:
    char m_letter;
    HostageFile &m_hostage;
    State m_state = State::Waiting;
};

// Asks the user for a disc and waits for it: the wait window in the program (WaitWindowRequester),
// the media arrivals with a time limit on the command line.
class DiscRequester
{
public:
    enum class Answer { Inserted, Cancelled, TimedOut };
    virtual ~DiscRequester() = default;

    // Shows the request ("Insert CD/DVD marked: " + mark) and waits for the disc.
    virtual Answer waitForDisc(const QString &request) = 0;
    // Tells the user why a request ends without the file ("You inserted wrong CD/DVD.").
    virtual void tell(const QString &text) = 0;
};
