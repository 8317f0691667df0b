#pragma once

// The text criterion of one archive's records in whichever match mode: set up at the start of
// each archive (and again when the mode switches), asked for every record the engine reads, and
// telling the skim what a record must hold for it to be worth a look. One per engine.

#include "RegexMatch.h"
#include "SearchCriteria.h"
#include "TextQuery.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace search {

// The mode and accent switch the criteria give the simple or the advanced search.
MatchMode matchModeOf(const SearchCriteria &c, bool advanced);
bool ignoresAccents(const SearchCriteria &c, bool advanced);
// Why the search text cannot be searched in the mode the criteria give: "bad regular expression
// at column N: " and the library's message; empty when it can. The window and the command line
// ask before they search.
QString searchTextProblem(const SearchCriteria &c);

class TextCriterion
{
public:
    // The criteria, the search text as the archive's reading began, the archive's mark, and the
    // mode the records are now tested in. asciiFast: the user's locale keeps ASCII capitals in
    // ASCII, so records may be matched as bytes and skimmed.
    void setUp(const SearchCriteria &c, const QString &text, const QString &mark, bool advanced,
               bool asciiFast);
    bool advanced() const { return m_advanced; }

    // No text to look for: every record holds.
    bool isEmpty() const { return m_empty; }
    // Whether the record's folder and name lines (and the archive's mark, when searched) hold
    // the text. *gaveUp: the regular expression gave up on a field, and no other field matched.
    bool holds(QByteArrayView folder, QByteArrayView name, bool *gaveUp);

    // ASCII text in capitals that every record that holds has in its folder or name line, ASCII
    // letter case aside; empty when records cannot be passed over by their bytes.
    const QByteArray &skimText() const { return m_skim; }
    // Accents ignored: a character outside ASCII whose fold holds one of skimBits' characters
    // may make the text; whether its line does is foldedLineHolds.
    bool skimFolds() const { return m_accents; }
    uint64_t skimBits() const { return m_skimBits; }
    bool foldedLineHolds(QByteArrayView line);
    // A place of the skim text in a record's lines is a match on its own.
    bool skimTextIsMatch() const { return m_skimIsMatch; }

private:
    enum class Way { Bytes, Folded, Unicode };
    bool wordsHold(QByteArrayView folder, QByteArrayView name);
    bool regexHolds(QByteArrayView folder, QByteArrayView name, bool *gaveUp);
    bool linesMayHold(QByteArrayView folder, QByteArrayView name);
    // The match text of the record's fields, as bytes or as Unicode.
    void buildText(QByteArrayView folder, QByteArrayView name);
    template <typename Put> void forEachField(QByteArrayView folder, QByteArrayView name, Put &&put) const;

    const SearchCriteria *m_c = nullptr;
    bool m_advanced = false;
    bool m_asciiFast = true;
    bool m_empty = true;
    bool m_accents = false;
    bool m_upper = true;
    MatchMode m_mode = MatchMode::Phrase;
    QLocale m_locale;

    TextQuery m_query;
    std::vector<char> m_markHolds; // per word: the mark alone holds it

    std::shared_ptr<const RegexPattern> m_pattern; // null: none, or it does not compile
    std::optional<RegexMatcher> m_matcher;
    bool m_markMatched = false;
    bool m_markGaveUp = false;

    QByteArray m_skim;
    uint64_t m_skimBits = 0;
    bool m_skimIsMatch = false;

    Way m_way = Way::Bytes;
    std::vector<char> m_bytes;
    size_t m_length = 0;
    QString m_unicode;
};

} // namespace search
