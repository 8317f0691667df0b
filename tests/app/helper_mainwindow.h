#pragma once

#include "util/gui/MessageBox.h"

#include <QList>
#include <QPair>
#include <QString>

#include <deque>
#include <functional>

// Answers the program's message boxes in tests and remembers what was asked.
class MessageBoxRecorder
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();

    // Answers for confirmation boxes, in order; Yes when none is left.
    void queueAnswer(MsgAnswer answer) { m_answers.push_back(answer); }
    QList<QPair<MsgKind, QString>> boxes;

private:
    std::deque<MsgAnswer> m_answers;
};

// Deletes the settings the main window and welcome window read, so each test starts from
// the defaults.
void clearMainSettings();

// Lets events run until the condition holds or the time is up; returns the condition.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 2000);
