#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class InputStream;

// A JSON text read token by token, front to back, so a catalog of any size is never held
// whole. Nesting is bounded (a deep one is refused, not walked), and so are strings.
class JsonReader
{
public:
    enum Token { BeginObject, EndObject, BeginArray, EndArray, Key, String, Number, Bool, Null, End, Error };
    static constexpr int kMaxDepth = 512;
    static constexpr qsizetype kMaxString = 1 << 20;

    explicit JsonReader(InputStream &in);
    Token next();
    // Key and String: the text, unescaped, as UTF-8. Number: as written. Bool: "true" or "false".
    const QByteArray &text() const { return m_text; }
    // Skips the value that comes next, with everything inside it. False on an error.
    bool skipValue();
    qint64 line() const { return m_line; }
    const QString &error() const { return m_error; }
    int depth() const { return int(m_stack.size()); }

private:
    enum Expect { Value, ValueOrEnd, KeyOrEnd, KeyNext, AfterValue };
    int get();
    int peekByte();
    bool fill();
    Token fail(const QString &what);
    Token readString(Token as);
    Token readLiteral(const char *word, Token as);
    Token readNumber();
    void skipSpace();

    InputStream &m_in;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_started = false;
    std::vector<char> m_stack;
    Expect m_expect = Value;
    QByteArray m_text;
    qint64 m_line = 1;
    QString m_error;
};
