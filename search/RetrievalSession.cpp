#include "RetrievalSession.h"

#include "ImageRetrieval.h"
#include "drives/DiscWait.h"
#include "drives/gDrives.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>

namespace retrieval {

QByteArray relativePath(QByteArrayView folderLine, QByteArrayView name)
{
    QByteArray path;
    path.reserve(folderLine.size() + name.size() + 1);
    if (folderLine != QByteArrayView("\\")) {
        path.append(folderLine.data(), folderLine.size());
        path.replace('\\', '/');
        path.append('/');
    }
    path.append(name.data(), name.size());
    return path;
}

QByteArray joinRoot(const QString &root, const QByteArray &relative)
{
    return QFile::encodeName(root) + relative;
}

bool fileExists(const QByteArray &path)
{
    if (path.isEmpty())
        return false;
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return false;
    return !S_ISDIR(info.st_mode);
}

QByteArray locate(const QString &root, QByteArrayView folderLine, QByteArrayView name,
                  const QString &folderText, const QString &nameText)
{
    if (root.isEmpty())
        return QByteArray();
    const QByteArray asStored = joinRoot(root, relativePath(folderLine, name));
    if (fileExists(asStored))
        return asStored;
    const QByteArray folderUtf8 = folderText.toUtf8();
    const QByteArray nameUtf8 = nameText.toUtf8();
    if (folderUtf8 != folderLine || nameUtf8 != name) {
        const QByteArray shown = joinRoot(root, relativePath(folderUtf8, nameUtf8));
        if (fileExists(shown))
            return shown;
    }
    return asStored;
}

} // namespace retrieval

RetrievalSession::RetrievalSession(char readDevice, CataloguedFile file)
    : m_letter(readDevice), m_file(std::move(file))
{}

QByteArray RetrievalSession::locate() const
{
    // A disc that arrived is mounted at a folder of its own: every look starts from its root.
    return retrieval::locate(DriveRootPath(m_letter), m_file.folderLine, m_file.name, m_file.folderText,
                             m_file.nameText);
}

bool RetrievalSession::takeFromImage()
{
    const QString image = m_archive.isEmpty() ? QString() : imageretrieval::imageOf(m_archive);
    if (image.isEmpty())
        return false;
    const QByteArray copy = imageretrieval::takeOut(image, m_file);
    if (copy.isEmpty())
        return false;
    m_path = copy;
    return true;
}

RetrievalSession::Outcome RetrievalSession::run(DiscRequester &requester)
{
    // IsDiscReady refuses a missing read device before anything else happens.
    const bool ready = IsDiscReady(m_letter);
    m_path = locate();
    if (ready && retrieval::fileExists(m_path))
        return Outcome::Found;
    OpenDriveDoor(m_letter);
    switch (requester.waitForDisc(retrieval::InsertDisc + m_file.mark)) {
    case DiscRequester::Answer::Cancelled:
        return Outcome::Cancelled;
    case DiscRequester::Answer::TimedOut:
        return Outcome::TimedOut;
    case DiscRequester::Answer::Inserted:
        break;
    }
    m_path = locate();
    if (retrieval::fileExists(m_path))
        return Outcome::Found;
    requester.tell(retrieval::WrongDisc);
    OpenDriveDoor(m_letter);
    return Outcome::WrongDisc;
}

namespace retrieval {

int folderDepth(QByteArrayView folderLine)
{
    int depth = 0;
    bool inName = false;
    for (const char ch : folderLine) {
        if (ch == '\\') {
            inName = false;
        } else if (!inName) {
            inName = true;
            ++depth;
        }
    }
    return depth;
}

QByteArray folderOfFound(const QByteArray &foundFile, QByteArrayView fileFolderLine,
                         QByteArrayView folderLine)
{
    // The file's name, then one name per folder between.
    int cut = 1 + std::max(0, folderDepth(fileFolderLine) - folderDepth(folderLine));
    qsizetype end = foundFile.size();
    while (cut-- > 0 && end > 0) {
        end = foundFile.lastIndexOf('/', end - 1);
        if (end < 0)
            return QByteArray();
    }
    // The root of a mount keeps its own name; "/" stays "/".
    return foundFile.first(std::max<qsizetype>(end, 1));
}

} // namespace retrieval

FolderRetrieval::FolderRetrieval(char readDevice, CataloguedFolder folder)
    : m_letter(readDevice), m_folder(std::move(folder))
{}

bool FolderRetrieval::takeFromImage()
{
    const QString image = m_archive.isEmpty() ? QString() : imageretrieval::imageOf(m_archive);
    if (image.isEmpty() || m_folder.files.empty())
        return false;
    const QByteArray copy = imageretrieval::takeOutFolder(image, m_folder);
    if (copy.isEmpty())
        return false;
    m_path = copy;
    return true;
}

RetrievalSession::Outcome FolderRetrieval::run(DiscRequester &requester)
{
    if (m_folder.files.empty()) {
        IsDiscReady(m_letter); // no read device is told before anything else, as for a file
        return RetrievalSession::Outcome::WrongDisc;
    }
    const CataloguedFile &probe = m_folder.files.front();
    RetrievalSession session(m_letter, probe);
    const RetrievalSession::Outcome outcome = session.run(requester);
    if (outcome == RetrievalSession::Outcome::Found)
        m_path = retrieval::folderOfFound(session.path(), probe.folderLine, m_folder.folderLine);
    return outcome;
}
