#pragma once

#include <QObject>

#include "util/gUtils.h"

// Tells about media arriving in our drives, but only while started: the wait-for-disc window
// starts it when it opens and stops it when it closes, so nothing watches or polls otherwise.
// Starts nest (a count), so two users never stop each other's watch.
class MediaMonitor : public QObject
{
    Q_OBJECT
public:
    explicit MediaMonitor(QObject *parent = nullptr) : QObject(parent) {}
    ~MediaMonitor() override = default;

    void start();
    void stop();
    bool isStarted() const { return m_starts > 0; }

signals:
    // unitMask has the bit of the drive letter (bit 0 = "A"); flags bit 0 says "media".
    void mediaArrived(const VolumeNotice &notice);

protected:
    virtual void startWatching() {}
    virtual void stopWatching() {}

private:
    int m_starts = 0;
};

// The notice for a medium that arrived in the drive with this letter ('A'..'Z').
VolumeNotice mediaNoticeFor(char letter);
