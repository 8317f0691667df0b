#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// The archive checksum that names every archive file: a signed 64-bit sum, starting at -1,
// over the bytes taken in blocks of 65,536. A byte at index i of a block adds
// (p + i) * byte, where p counts the bytes consumed so far including this block; each
// product keeps only its low 32 bits, read as a signed number. The sum wraps at 64 bits.
// A sum of -1 cannot be told from "nothing summed" and is reported as "uncalcable".

// The raw sum of a byte buffer.
int64_t checksumSum(QByteArrayView bytes);

// The raw sum of a file's bytes. Throws AmbryError when the file cannot be opened or read.
int64_t fileChecksumSum(const QString &path);

// The sum as archive files name it: signed decimal, or "uncalcable" for -1.
QString checksumText(int64_t sum);

// Checksum of a file / of bytes in memory; both give the same text for the same bytes.
// The file is only opened for reading. Throws AmbryError on open or read errors.
QString CalcFileChecksum(const QString &path);
QString checksumOfBytes(QByteArrayView bytes);

// The implementations this processor can run, fastest first (the first is used), and a switch
// between them so that tests can check every one against the others.
QStringList checksumKernels();
bool useChecksumKernel(const QString &name);

// Runs between mapping a large file and summing it (tests change the file there).
void setAfterChecksumMappingForTesting(std::function<void()> hook);
