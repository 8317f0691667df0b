#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running copy per user. The first copy holds a lock file and listens on a local socket,
// both in the per-user runtime folder and named after the main window's class name
// "Ambrylog". A later copy finds the lock taken, sends the instance-activation message
// (0x1400) over the socket and must then end with exit code 0 before it touches any folder
// or setting:
//
//     SingleInstance instance;
//     if (instance.start() == SingleInstance::Role::Secondary)
//         return 0;
//     QObject::connect(&instance, &SingleInstance::activationRequested, ...raise the main window...);
//
// A lock or socket left behind by a crashed copy does not stop the next start: the lock
// belongs to a process that no longer runs, and the socket file is replaced.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int ActivationMessage = 0x1400;
    enum class Role { Primary, Secondary };

    // runtimeDir empty: the per-user runtime folder ($XDG_RUNTIME_DIR).
    explicit SingleInstance(const QString &name = QStringLiteral("Ambrylog"),
                            const QString &runtimeDir = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Decides the role. As secondary, tries for up to timeoutMs to deliver the activation
    // message (the first copy may still be starting); activationDelivered() tells the outcome.
    Role start(int timeoutMs = 3000);
    bool activationDelivered() const { return m_delivered; }
    // False when the first copy could not open its socket (activation then cannot reach it).
    bool isListening() const;

    QString lockPath() const;
    QString socketPath() const;

signals:
    // Another copy was started; bring the main window forward.
    void activationRequested();

private:
    void onNewConnection();
    void onClientReadable(QLocalSocket *client);
    bool sendActivation(int timeoutMs);

    QString m_name;
    QString m_dir;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_delivered = false;
};
