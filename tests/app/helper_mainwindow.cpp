#include "helper_mainwindow.h"

#include "settings/gRegistry.h"

#include <QDeadlineTimer>
#include <QTest>

MessageBoxRecorder::MessageBoxRecorder()
{
    setMessageBoxHandler([this](MsgKind kind, const QString &text) {
        boxes.append({kind, text});
        if (kind != MsgKind::Confirm)
            return MsgAnswer::Ok;
        if (m_answers.empty())
            return MsgAnswer::Yes;
        const MsgAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    setMessageBoxHandler(nullptr);
}

void clearMainSettings()
{
    for (const char *name : {"PromptOnExit", "StartUpRunMinimized", "Ssti", "Sitb", "MsgThanx",
                             "SearchAllWords", "SearchIgnoreAccents"})
        DeleteSetting(RegKey::S, QString::fromLatin1(name));
    DeleteSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"));
    DeleteSetting(RegKey::Run, QStringLiteral("Ambrylog"));
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
