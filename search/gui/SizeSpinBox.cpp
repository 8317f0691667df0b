#include "SizeSpinBox.h"

#include "util/gUtils.h"

namespace {

QString digitsOf(const QString &text)
{
    QString digits;
    for (QChar ch : text)
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
            digits += ch;
    return digits;
}

} // namespace

QString SizeSpinBox::textFromValue(int value) const
{
    return FormatGroupedNumber(value);
}

int SizeSpinBox::valueFromText(const QString &text) const
{
    return digitsOf(text).toInt();
}

QValidator::State SizeSpinBox::validate(QString &input, int &) const
{
    const QString digits = digitsOf(input);
    if (digits.isEmpty())
        return QValidator::Intermediate;
    if (digits.size() > 5 || digits.size() + separatorCount(input) != input.size())
        return QValidator::Invalid;
    return digits.toInt() <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
}

int SizeSpinBox::separatorCount(const QString &text) const
{
    const QString separator = locale().groupSeparator();
    return separator.isEmpty() ? 0 : int(text.count(separator)) * int(separator.size());
}
