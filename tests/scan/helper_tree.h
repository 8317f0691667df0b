#pragma once

#include <QByteArray>
#include <QString>

#include "TestSupport.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

// Folder trees built by the tests, with byte names (any bytes but "/" and NUL), sizes made by
// extending files without writing (sparse) and times set explicitly.
namespace scantest {

// A fresh folder below the test sandbox, as a byte path ending in "/".
std::string newRoot(const char *hint);
void makeFolder(const std::string &path);
// Creates (or truncates) a file of the given length and sets its last-write time.
void makeFile(const std::string &path, long long size, time_t mtime);
void makeLink(const std::string &path, const std::string &target, time_t linkTime);
void setTime(const std::string &path, time_t mtime);
// The moment a local calendar time stands for.
time_t localMoment(int year, int month, int day, int hour, int minute, int second);
// Entry names of a folder in the order the file system lists them ("." and ".." left out).
std::vector<std::string> listed(const std::string &folder);
// One record as the walk writes it.
QByteArray record(const QByteArray &folderLine, const QByteArray &name, long long size, int32_t packed);
QString qpath(const std::string &bytes);
// Removes a tree by its byte names (QDir cannot delete names that are not valid UTF-8).
void removeTree(const std::string &path);
// A chain of `depth` folders named `name` below root, built and removed through descriptors so
// that its paths may be far longer than the system's path limit. fileAt(level) names a file
// to put into the folder at that level (1 = the first folder), or returns an empty name.
void makeDeepChain(const std::string &root, int depth, const char *name,
                   const std::function<std::string(int level)> &fileAt);
void removeDeepChain(const std::string &root, int depth, const char *name);

// UnprivilegedFiles and openToOthers: in TestSupport.h.
using ambrytest::openToOthers;
using ambrytest::UnprivilegedFiles;

} // namespace scantest
