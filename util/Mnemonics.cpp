#include "Mnemonics.h"

#include <QSet>

namespace {

// Positions in the shown text, in the order they are tried.
QList<qsizetype> candidates(const QString &shown)
{
    QList<qsizetype> starts;
    QList<qsizetype> inner;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (!shown.at(i).isLetterOrNumber())
            continue;
        const bool wordStart = i == 0 || !shown.at(i - 1).isLetterOrNumber();
        (wordStart ? starts : inner) << i;
    }
    return starts + inner;
}

// "&" must be doubled to be shown as itself once a mark goes in.
QString marked(const QString &shown, qsizetype at)
{
    QString out;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (i == at)
            out += QLatin1Char('&');
        out += shown.at(i);
        if (shown.at(i) == QLatin1Char('&'))
            out += QLatin1Char('&');
    }
    return out;
}

} // namespace

QString shownText(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text.at(i);
    }
    return out;
}

QChar mnemonicOf(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return text.at(i + 1);
        ++i;
    }
    return QChar();
}

QStringList withMnemonics(const QStringList &texts)
{
    QSet<QChar> used;
    for (const QString &text : texts) {
        const QChar mark = mnemonicOf(text);
        if (!mark.isNull())
            used.insert(mark.toLower());
    }
    QStringList out;
    for (const QString &text : texts) {
        if (!mnemonicOf(text).isNull()) {
            out << text;
            continue;
        }
        const QString shown = shownText(text);
        QString result = text;
        for (qsizetype at : candidates(shown)) {
            const QChar letter = shown.at(at).toLower();
            if (used.contains(letter))
                continue;
            used.insert(letter);
            result = marked(shown, at);
            break;
        }
        out << result;
    }
    return out;
}
