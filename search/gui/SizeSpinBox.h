#pragma once

#include <QSpinBox>
#include <QString>

// The search window's size field: the up-down control and the edit it is bound to are one spin
// box here, and its edit part keeps the edit's own name. Shown like every count of the program
// (grouped digits); typed as at most five digits.
class SizeSpinBox : public QSpinBox
{
public:
    using QSpinBox::lineEdit;
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString &text) const override;
    QValidator::State validate(QString &input, int &pos) const override;

private:
    int separatorCount(const QString &text) const;
};
