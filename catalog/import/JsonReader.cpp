#include "catalog/import/JsonReader.h"

#include "catalog/import/InputStream.h"

JsonReader::JsonReader(InputStream &in) : m_in(in)
{
    m_buffer.resize(1 << 16);
}

bool JsonReader::fill()
{
    if (m_eof)
        return false;
    const qsizetype n = m_in.read(m_buffer.data(), m_buffer.size());
    m_at = 0;
    m_end = n;
    if (n == 0)
        m_eof = true;
    return n > 0;
}

int JsonReader::peekByte()
{
    if (m_at == m_end && !fill())
        return -1;
    return static_cast<unsigned char>(m_buffer[m_at]);
}

int JsonReader::get()
{
    if (m_at == m_end && !fill())
        return -1;
    return static_cast<unsigned char>(m_buffer[m_at++]);
}

JsonReader::Token JsonReader::fail(const QString &what)
{
    if (m_error.isEmpty()) {
        if (!m_in.error().isEmpty())
            m_error = m_in.error();
        else
            m_error = QStringLiteral("JSON: %1 at line %2.").arg(what).arg(m_line);
    }
    return Error;
}

void JsonReader::skipSpace()
{
    for (;;) {
        const int c = peekByte();
        if (c == '\n')
            ++m_line;
        else if (c != ' ' && c != '\t' && c != '\r')
            return;
        ++m_at;
    }
}

namespace {

void appendUtf8(QByteArray &out, uint cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

JsonReader::Token JsonReader::readString(Token as)
{
    m_text.clear();
    auto hex4 = [this](uint *out) {
        uint v = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = get();
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            v = v * 16 + uint(d);
        }
        *out = v;
        return true;
    };
    for (;;) {
        // Plain runs are copied whole.
        qsizetype run = m_at;
        while (run < m_end && m_buffer[run] != '"' && m_buffer[run] != '\\' &&
               static_cast<unsigned char>(m_buffer[run]) >= 0x20)
            ++run;
        m_text.append(m_buffer.constData() + m_at, run - m_at);
        m_at = run;
        if (m_text.size() > kMaxString)
            return fail(QStringLiteral("a string longer than %1 bytes").arg(kMaxString));
        const int c = get();
        if (c < 0)
            return fail(QStringLiteral("the text ends inside a string"));
        if (c == '"')
            return as;
        if (c < 0x20)
            return fail(QStringLiteral("a control character inside a string"));
        if (c != '\\') {
            m_text += char(c); // a byte left at the end of the buffer
            continue;
        }
        const int e = get();
        switch (e) {
        case '"':
        case '\\':
        case '/':
            m_text += char(e);
            break;
        case 'b':
            m_text += '\b';
            break;
        case 'f':
            m_text += '\f';
            break;
        case 'n':
            m_text += '\n';
            break;
        case 'r':
            m_text += '\r';
            break;
        case 't':
            m_text += '\t';
            break;
        case 'u': {
            uint cp;
            if (!hex4(&cp))
                return fail(QStringLiteral("a bad \\u escape"));
            if (cp >= 0xD800 && cp < 0xDC00) {
                uint low;
                if (get() != '\\' || get() != 'u' || !hex4(&low) || low < 0xDC00 || low >= 0xE000)
                    return fail(QStringLiteral("half a surrogate pair"));
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xDC00 && cp < 0xE000) {
                return fail(QStringLiteral("half a surrogate pair"));
            }
            appendUtf8(m_text, cp);
            break;
        }
        default:
            return fail(QStringLiteral("a bad escape"));
        }
    }
}

JsonReader::Token JsonReader::readLiteral(const char *word, Token as)
{
    m_text.clear();
    for (const char *p = word; *p; ++p) {
        if (get() != static_cast<unsigned char>(*p))
            return fail(QStringLiteral("an unknown word"));
        m_text += *p;
    }
    return as;
}

JsonReader::Token JsonReader::readNumber()
{
    m_text.clear();
    for (;;) {
        const int c = peekByte();
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            break;
        m_text += char(c);
        ++m_at;
        if (m_text.size() > 64)
            return fail(QStringLiteral("a number longer than 64 characters"));
    }
    return Number;
}

JsonReader::Token JsonReader::next()
{
    if (!m_error.isEmpty())
        return Error;
    if (!m_started) {
        m_started = true;
        // A byte order mark some editors put first.
        if (peekByte() == 0xEF && m_end - m_at >= 3 && m_buffer[m_at + 1] == char(0xBB) &&
            m_buffer[m_at + 2] == char(0xBF))
            m_at += 3;
    }
    for (;;) {
        skipSpace();
        const int c = peekByte();
        switch (m_expect) {
        case AfterValue:
            if (m_stack.empty()) {
                if (c < 0)
                    return m_in.error().isEmpty() ? End : fail(QString());
                return fail(QStringLiteral("text after the end"));
            }
            if (c < 0)
                return fail(QStringLiteral("the text ends inside an object or array"));
            ++m_at;
            if (c == ',') {
                m_expect = m_stack.back() == '{' ? KeyNext : Value;
                continue;
            }
            if (c == '}' && m_stack.back() == '{') {
                m_stack.pop_back();
                return EndObject;
            }
            if (c == ']' && m_stack.back() == '[') {
                m_stack.pop_back();
                return EndArray;
            }
            return fail(QStringLiteral("a missing comma"));
        case KeyOrEnd:
        case KeyNext: {
            if (c < 0)
                return fail(QStringLiteral("the text ends inside an object"));
            ++m_at;
            if (c == '}' && m_expect == KeyOrEnd) {
                m_stack.pop_back();
                m_expect = AfterValue;
                return EndObject;
            }
            if (c != '"')
                return fail(QStringLiteral("a missing key"));
            if (readString(Key) == Error)
                return Error;
            skipSpace();
            if (get() != ':')
                return fail(QStringLiteral("a missing colon"));
            m_expect = Value;
            return Key;
        }
        case Value:
        case ValueOrEnd:
            if (c == ']' && m_expect == ValueOrEnd) {
                ++m_at;
                m_stack.pop_back();
                m_expect = AfterValue;
                return EndArray;
            }
            m_expect = AfterValue;
            switch (c) {
            case '{':
            case '[':
                ++m_at;
                if (int(m_stack.size()) >= kMaxDepth)
                    return fail(QStringLiteral("nesting deeper than %1 levels").arg(kMaxDepth));
                m_stack.push_back(char(c));
                m_expect = c == '{' ? KeyOrEnd : ValueOrEnd;
                return c == '{' ? BeginObject : BeginArray;
            case '"':
                ++m_at;
                return readString(String);
            case 't':
                return readLiteral("true", Bool);
            case 'f':
                return readLiteral("false", Bool);
            case 'n':
                return readLiteral("null", Null);
            case -1:
                return fail(m_stack.empty() && m_line == 1
                                ? QStringLiteral("an empty file")
                                : QStringLiteral("the text ends where a value belongs"));
            default:
                if (c == '-' || (c >= '0' && c <= '9'))
                    return readNumber();
                return fail(QStringLiteral("an unexpected character"));
            }
        }
    }
}

bool JsonReader::skipValue()
{
    int depth = 0;
    do {
        switch (next()) {
        case BeginObject:
        case BeginArray:
            ++depth;
            break;
        case EndObject:
        case EndArray:
            --depth;
            break;
        case Error:
        case End:
            return false;
        default:
            break;
        }
    } while (depth > 0);
    return true;
}
