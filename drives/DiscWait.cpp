#include "DiscWait.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include "DriveSystem.h"
#include "HostageFile.h"
#include "gDrives.h"
#include "util/AmbryError.h"

namespace {

char upper(char letter)
{
    return (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
}

// The disc handled last is still in while the file its walk recorded can be found.
bool stillIn(const HostageFile &hostage)
{
    const QString path = hostage.path();
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

DiscWait::DiscWait(char readDevice, HostageFile &hostage) : m_letter(upper(readDevice)), m_hostage(hostage) {}

DiscWait::State DiscWait::start()
{
    if (m_letter == 0)
        return m_state = State::NoDevice;
    bool present = false;
    try {
        // An audio disc has no file system to be ready, yet it is a disc: the add-disc session
        // must see it to refuse it, rather than the wait ejecting it and waiting on.
        present = IsDiscReady(m_letter) || IsAudioDisc(m_letter);
    } catch (const AmbryError &) {
        // A stored letter that names no drive at all is the same as having no read device.
        return m_state = State::NoDevice;
    }
    if (!present || stillIn(m_hostage)) {
        OpenDriveDoor(m_letter);
        return m_state = State::Waiting;
    }
    return m_state = State::DiscPresent;
}

QString DiscWait::message(const QString &request) const
{
    switch (m_state) {
    case State::NoDevice:
        return QStringLiteral("No device installed!");
    case State::DiscPresent:
        return QStringLiteral("CD/DVD... inserted!");
    case State::Waiting:
        break;
    }
    return request.isEmpty() ? QStringLiteral("Please insert CD or DVD in CD/DVD ROM device and close it.")
                             : request;
}

bool DiscWait::mediumArrived(const VolumeNotice &notice)
{
    const QString drive = DriveLetterFromVolumeMask(notice);
    // A notice without the media flag (a new drive, not a medium) names no letter: it neither
    // ends the wait nor frees the hostage disc.
    if (drive.isEmpty())
        return false;
    m_hostage.set(QString());
    return m_letter != 0 && drive.at(0) == QLatin1Char(m_letter);
}

void DiscWait::confirm()
{
    CloseDriveDoor(m_letter);
}

DiscWait::Result DiscWait::run(int timeoutMs)
{
    switch (start()) {
    case State::NoDevice:
        return Result::NoDevice;
    case State::DiscPresent:
        return Result::Arrived;
    case State::Waiting:
        break;
    }
    Result result = Result::TimedOut;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    MediaMonitor *monitor = driveSystem().mediaMonitor();
    const QMetaObject::Connection arrivals =
        QObject::connect(monitor, &MediaMonitor::mediaArrived, &loop, [&](const VolumeNotice &notice) {
            if (mediumArrived(notice)) {
                result = Result::Arrived;
                loop.quit();
            }
        });
    monitor->start();
    timer.start(std::max(timeoutMs, 0));
    loop.exec();
    monitor->stop();
    QObject::disconnect(arrivals);
    return result;
}

QString DiscWait::keptAt(const QString &location, const QString &note)
{
    QStringList parts;
    for (const QString &part : {location.trimmed(), note.trimmed()})
        if (!part.isEmpty())
            parts << part;
    return parts.isEmpty() ? QString() : QStringLiteral("Kept at: ") + parts.join(QStringLiteral(", "));
}
