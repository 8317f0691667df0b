#pragma once

#include <QString>

#include <stdexcept>

// An error whose text the user sees as it stands: the application's general error display
// (and the command-line front end) shows message() in a message box or on standard error.
class AmbryError : public std::runtime_error
{
public:
    explicit AmbryError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};
