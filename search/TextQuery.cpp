#include "TextQuery.h"

#include "AccentFold.h"

#include <QLocale>

namespace search {

namespace {

struct ModeName
{
    MatchMode mode;
    const char *name;
    const char *text;
};
constexpr ModeName kModes[] = {{MatchMode::Phrase, "phrase", "Phrase"},
                               {MatchMode::AllWords, "all", "All words"},
                               {MatchMode::AnyWord, "any", "Any word"},
                               {MatchMode::BeginsWith, "begins", "Begins with"},
                               {MatchMode::Regex, "regex", "Regular expression"}};

} // namespace

QString matchModeName(MatchMode mode)
{
    for (const ModeName &m : kModes) {
        if (m.mode == mode)
            return QLatin1String(m.name);
    }
    return QString();
}

QStringList matchModeNames()
{
    QStringList names;
    for (const ModeName &m : kModes)
        names << QLatin1String(m.name);
    return names;
}

bool matchModeFromName(QStringView name, MatchMode *mode)
{
    for (const ModeName &m : kModes) {
        if (name == QLatin1String(m.name)) {
            *mode = m.mode;
            return true;
        }
    }
    return false;
}

QStringList matchModeTexts()
{
    QStringList texts;
    for (const ModeName &m : kModes)
        texts << QLatin1String(m.text);
    return texts;
}

QList<TypedWord> splitSearchWords(QStringView typed)
{
    QList<TypedWord> words;
    TypedWord word;
    bool inWord = false;
    bool quoted = false;
    const auto finish = [&] {
        if (!word.text.isEmpty())
            words.append(word);
        word = TypedWord();
        inWord = false;
    };
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar ch = typed.at(i);
        if (quoted) {
            if (ch == u'"')
                quoted = false;
            else
                word.text += ch;
            continue;
        }
        if (ch == u'"') {
            quoted = true;
            inWord = true;
            continue;
        }
        if (ch.isSpace()) {
            if (inWord)
                finish();
            continue;
        }
        if (!inWord && ch == u'-' && i + 1 < typed.size() && !typed.at(i + 1).isSpace()) {
            word.excluded = true;
            inWord = true;
            continue;
        }
        word.text += ch;
        inWord = true;
    }
    finish();
    return words;
}

QString normaliseWord(QStringView typed, bool caseSensitive, bool ignoreAccents)
{
    QString t = typed.toString();
    t.remove(QLatin1Char('*'));
    t.remove(QLatin1Char('?'));
    if (!caseSensitive)
        t = QLocale().toUpper(t);
    return ignoreAccents ? foldAccents(t, !caseSensitive) : t;
}

TextQuery::TextQuery(const QString &typed, MatchMode mode, bool caseSensitive, bool ignoreAccents)
    : m_mode(mode)
{
    QList<TypedWord> typedWords;
    if (mode == MatchMode::AllWords || mode == MatchMode::AnyWord)
        typedWords = splitSearchWords(typed);
    else if (mode != MatchMode::Regex)
        typedWords.append(TypedWord{typed, false});
    int included = 0;
    for (const TypedWord &t : typedWords) {
        Word w;
        w.text = normaliseWord(t.text, caseSensitive, ignoreAccents);
        if (w.text.isEmpty())
            continue;
        w.utf8 = w.text.toUtf8();
        w.excluded = t.excluded;
        for (const char ch : w.utf8)
            w.ascii = w.ascii && uchar(ch) < 0x80;
        w.crossesFields = w.text.contains(QLatin1Char('\n'));
        m_allAscii = m_allAscii && w.ascii;
        if (!w.excluded && !w.crossesFields) {
            ++included;
            if (m_required < 0 || w.utf8.size() > m_words.at(m_required).utf8.size())
                m_required = int(m_words.size());
        }
        m_words.append(w);
    }
    // Any one of several words: none of them is needed.
    if (mode == MatchMode::AnyWord && included > 1)
        m_required = -1;
}

} // namespace search
