#pragma once

#include "catalog/RecordSection.h"

class HostageFile;

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <string>
#include <vector>

struct stat;
class IsoImage;

// Walks the disc in the read device, or a disc image, into the record section of a new
// archive: four lines per file (folder line, name, size, packed date), each ending in CR LF,
// all in one byte buffer. A folder's own files come first, in the order the file system (or
// the image) lists them, then its subfolders, depth first. Widget-free: the add-disc window,
// ambrylog-cli and the tests drive it.
class DiscWalker
{
public:
    struct Counts
    {
        qint64 files = 0;
        qint64 folders = 0; // folders met below the root
        qint64 bytes = 0;
        // Folders skipped with everything below them because they could not be listed
        // (or whose entries could not be looked at): the records are then incomplete.
        qint64 unreadableFolders = 0;
    };
    using ProgressFn = std::function<void(const DiscWalker &)>;

    DiscWalker();

    // Called during the walk, at most once per interval, so a window can process its events
    // (and a click on Cancel can reach cancel()).
    void setProgressCallback(ProgressFn fn, int intervalMs = 20);
    // The hostage file this walker keeps: read at the start of a walk and, when it was empty,
    // set to the real path of the first file recorded. None (the default): nothing is kept.
    void setHostageFile(HostageFile *hostage) { m_hostageFile = hostage; }

    // Walks the folder rootPath (a real path; a missing trailing "/" is added), starting
    // from empty records and counters. True when the walk finished, false when it was
    // cancelled, the application is closing, or the root went away during the walk (the disc
    // was taken out) or a folder being walked was moved so that the walk cannot find its way
    // back. A root that cannot be read records nothing and counts as finished. A folder below
    // it that cannot be read is skipped and counted in counts().unreadableFolders.
    //
    // The walk holds a few descriptors whatever the depth (it goes back up through ".." and
    // makes sure it arrived where it came from) and keeps its path on the heap, so neither
    // the descriptor limit nor the stack limits how deep a disc may be.
    bool walk(const QString &rootPath);
    // Walks a disc image as walk() walks the same image mounted. False when cancelled or
    // when the image turns out damaged (failure() then says how). Folders the image's maker
    // moved for their depth, which the reader cannot follow, count as unreadable folders.
    bool walkImage(const IsoImage &image);
    // Why the last image walk failed; empty after a finished or cancelled walk.
    const QString &failure() const { return m_failure; }

    // Empties the records and counters, as a walk does first.
    void reset();

    // Noticed once per folder, after the folder's own files and before its subfolders. A
    // walk does not clear the flag: a Cancel that arrives while its window gets ready for
    // the walk still counts. The owner clears it before it starts.
    void cancel() { m_cancel = true; }
    void clearCancel() { m_cancel = false; }
    bool cancelRequested() const { return m_cancel; }

    const QByteArray &records() const { return m_records.section(); }
    QByteArray takeRecords();
    const Counts &counts() const { return m_counts; }
    // The progress bar moves one step per file over the range 0..100.
    int progressPercent() const { return m_counts.files < 100 ? int(m_counts.files) : 100; }
    const QString &hostageFile() const { return m_hostage; }
    const QString &rootPath() const { return m_root; }

private:
    struct Frame;
    bool walkTree(int rootFd, const struct stat &rootStat);
    // Records the files of the folder open as dirFd and collects its subfolders' names.
    // False when the folder could not be listed completely.
    bool listFolder(int dirFd, const QByteArray &relative, std::string &subfolders);
    int reopenFromRoot(const std::vector<Frame> &stack, const QByteArray &relative) const;
    void appendRecord(QByteArrayView folderLine, QByteArrayView name, qint64 size, qint64 mtime);
    void noteFirstFile(const QByteArray &relative, const char *name);
    void maybeReport();

    filerecord::SectionBuilder m_records;
    Counts m_counts;
    QString m_failure;
    QString m_root;
    QByteArray m_rootBytes;
    QString m_hostage;
    bool m_hostageWanted = false;
    HostageFile *m_hostageFile = nullptr;
    bool m_cancel = false;
    ProgressFn m_progress;
    qint64 m_intervalNs = 20'000'000;
    qint64 m_lastReportNs = 0;
};
