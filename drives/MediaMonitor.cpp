#include "MediaMonitor.h"

void MediaMonitor::start()
{
    if (m_starts++ == 0)
        startWatching();
}

void MediaMonitor::stop()
{
    if (m_starts == 0)
        return;
    if (--m_starts == 0)
        stopWatching();
}

VolumeNotice mediaNoticeFor(char letter)
{
    VolumeNotice notice;
    if (letter >= 'A' && letter <= 'Z')
        notice.unitMask = quint32(1) << (letter - 'A');
    notice.flags = VolumeNoticeMediaFlag;
    return notice;
}
