#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/Mnemonics.h"

#include <vector>

TEST(Mnemonics, EachEntryGetsALetterOfItsOwnAndKeepsItsText)
{
    const struct
    {
        const char *what;
        std::vector<const char *> texts;
        std::vector<const char *> marked;
    } cases[] = {
        {"first letters", {"Catalog", "Tools", "Help", "More"}, {"&Catalog", "&Tools", "&Help", "&More"}},
        {"a taken first letter moves to the next word",
         {"Search Files", "Set Default Read Device..."},
         {"&Search Files", "Set &Default Read Device..."}},
        {"letter case does not tell letters apart",
         {"Run at Start-up", "run Minimized (only Start-up)"},
         {"&Run at Start-up", "run &Minimized (only Start-up)"}},
        {"then letters inside words", {"Show", "Show"}, {"&Show", "S&how"}},
        {"a letter already marked is kept and reserved", {"Exit", "E&xit"}, {"&Exit", "E&xit"}},
        {"reserved before the entries above it take theirs", {"Xylophone", "E&xit"}, {"X&ylophone", "E&xit"}},
        {"a literal ampersand stays one", {"Salt && Pepper"}, {"&Salt && Pepper"}},
        {"no letter left: no mark", {"A", "a", "-"}, {"&A", "a", "-"}},
        {"digits count as letters", {"1 Disc", "1 More"}, {"&1 Disc", "1 &More"}},
    };
    for (const auto &c : cases) {
        QStringList texts;
        QStringList expected;
        for (const char *t : c.texts)
            texts << QString::fromUtf8(t);
        for (const char *t : c.marked)
            expected << QString::fromUtf8(t);
        const QStringList marked = withMnemonics(texts);
        EXPECT_EQ(marked, expected) << c.what;
        for (qsizetype i = 0; i < marked.size(); ++i)
            EXPECT_EQ(shownText(marked.at(i)), shownText(texts.at(i))) << c.what;
    }
}

TEST(Mnemonics, ReadsTheMarkedLetter)
{
    EXPECT_EQ(mnemonicOf(QStringLiteral("E&xit")), QLatin1Char('x'));
    EXPECT_EQ(mnemonicOf(QStringLiteral("Salt && &Pepper")), QLatin1Char('P'));
    EXPECT_TRUE(mnemonicOf(QStringLiteral("Salt && Pepper")).isNull());
    EXPECT_TRUE(mnemonicOf(QStringLiteral("Trailing&")).isNull());
    EXPECT_EQ(shownText(QStringLiteral("Salt && &Pepper")), QStringLiteral("Salt & Pepper"));
}
