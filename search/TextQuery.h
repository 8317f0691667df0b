#pragma once

// How the search text is matched, and the words it is split into. Widget-free: the search
// window, ambrylog-cli and the engine share it.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace search {

// Phrase: the whole text is one substring (the default, and what the simple search does unless
// the settings say otherwise). AllWords, AnyWord: the text's words, each anywhere in the
// searched fields; a word starting with "-" excludes the records that hold it. BeginsWith: the
// file name starts with the text. Regex: a regular expression matched against each searched
// field on its own.
enum class MatchMode { Phrase, AllWords, AnyWord, BeginsWith, Regex };

// The command line's names: "phrase", "all", "any", "begins", "regex".
QString matchModeName(MatchMode mode);
QStringList matchModeNames();
bool matchModeFromName(QStringView name, MatchMode *mode);
// The texts of the window's "Match:" list, in the order of MatchMode.
QStringList matchModeTexts();

// One word as typed. Words are split at blanks; a "quoted phrase" is one word with its blanks
// (an unclosed quote runs to the end); a leading "-" excludes the word ("-" alone is a word).
struct TypedWord
{
    bool operator==(const TypedWord &) const = default;
    QString text;
    bool excluded = false;
};
QList<TypedWord> splitSearchWords(QStringView typed);

// A word as it is looked for: every "*" and "?" removed, then in capitals by the user's locale
// unless case counts, then with its accents folded when they are ignored.
QString normaliseWord(QStringView typed, bool caseSensitive, bool ignoreAccents);

// The words a search looks for and how they combine. Not for Regex (it has no words).
class TextQuery
{
public:
    struct Word
    {
        QString text;
        QByteArray utf8;
        bool excluded = false;
        bool ascii = true;
        // Holds the line feed that joins the fields of a match text: it can never hold.
        bool crossesFields = false;
    };

    TextQuery() = default;
    TextQuery(const QString &typed, MatchMode mode, bool caseSensitive, bool ignoreAccents);

    MatchMode mode() const { return m_mode; }
    // No word to look for: the text criterion is not active.
    bool isEmpty() const { return m_words.isEmpty(); }
    const QList<Word> &words() const { return m_words; }
    bool allAscii() const { return m_allAscii; }
    // A word every matching record holds somewhere in its fields (the longest there is), or -1.
    int requiredWord() const { return m_required; }

    // Whether a record matches, given holds(i): whether word i occurs in it (for BeginsWith:
    // whether the name starts with it).
    template <typename Holds> bool matches(Holds &&holds) const
    {
        bool anyIncluded = false;
        bool sawIncluded = false;
        for (qsizetype i = 0; i < m_words.size(); ++i) {
            const Word &w = m_words.at(i);
            const bool h = !w.crossesFields && holds(int(i));
            if (w.excluded) {
                if (h)
                    return false;
                continue;
            }
            sawIncluded = true;
            if (h)
                anyIncluded = true;
            else if (m_mode != MatchMode::AnyWord)
                return false;
        }
        return !sawIncluded || anyIncluded;
    }

private:
    MatchMode m_mode = MatchMode::Phrase;
    QList<Word> m_words;
    bool m_allAscii = true;
    int m_required = -1;
};

} // namespace search
