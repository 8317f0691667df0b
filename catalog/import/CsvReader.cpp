#include "catalog/import/CsvReader.h"

#include "catalog/import/InputStream.h"

bool CsvReader::next(std::vector<QByteArray> &fields)
{
    fields.clear();
    QByteArrayView line;
    if (!m_lines.next(&line)) {
        m_error = m_lines.error();
        return false;
    }
    m_line = m_lines.lineNumber();
    QByteArray field;
    bool quoted = false;
    bool wasQuoted = false;
    qsizetype recordSize = 0;
    for (;;) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else {
                        quoted = false;
                    }
                } else {
                    field += c;
                }
            } else if (c == m_separator) {
                fields.push_back(field);
                field.clear();
                wasQuoted = false;
            } else if (c == '"' && field.isEmpty() && !wasQuoted) {
                quoted = true;
                wasQuoted = true;
            } else {
                field += c;
            }
        }
        if (!quoted)
            break;
        // A quoted field goes on over the line break.
        recordSize += line.size() + 1;
        if (recordSize > kMaxRecord) {
            m_error = QStringLiteral("The record starting at line %1 is longer than %2 bytes.")
                          .arg(m_line)
                          .arg(kMaxRecord);
            return false;
        }
        field += '\n';
        if (!m_lines.next(&line)) {
            m_error = m_lines.error().isEmpty()
                          ? QStringLiteral("A quoted field starting at line %1 never ends.").arg(m_line)
                          : m_lines.error();
            return false;
        }
    }
    fields.push_back(field);
    return true;
}

char guessSeparator(const QByteArray &firstLine)
{
    const char candidates[] = {'\t', ',', ';', '|'};
    int counts[4] = {};
    bool quoted = false;
    for (const char c : firstLine) {
        if (c == '"')
            quoted = !quoted;
        if (quoted)
            continue;
        for (int i = 0; i < 4; ++i)
            if (c == candidates[i])
                ++counts[i];
    }
    int best = 1; // comma when nothing tells
    for (int i = 0; i < 4; ++i)
        if (counts[i] > counts[best])
            best = i;
    return candidates[best];
}
