#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class LineReader;

// Records of a delimited text (RFC 4180): fields separated by one character, a field in
// double quotes may hold the separator, line breaks and doubled quotes.
class CsvReader
{
public:
    CsvReader(LineReader &lines, char separator) : m_lines(lines), m_separator(separator) {}
    // False at the end or on an error (error() is set then).
    bool next(std::vector<QByteArray> &fields);
    // The line the last record started on.
    qint64 line() const { return m_line; }
    const QString &error() const { return m_error; }
    // A record may span lines up to this size.
    static constexpr qsizetype kMaxRecord = 1 << 20;

private:
    LineReader &m_lines;
    char m_separator;
    qint64 m_line = 0;
    QString m_error;
};

// The separator a delimited text most likely uses, judged from its first line: the one of
// tab, comma, semicolon and "|" that occurs most often outside quotes.
char guessSeparator(const QByteArray &firstLine);
