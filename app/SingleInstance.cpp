#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>

Q_LOGGING_CATEGORY(lcInstance, "ambrylog.instance")

namespace {

QByteArray activationLine()
{
    return QByteArrayLiteral("ACTIVATE 0x") + QByteArray::number(SingleInstance::ActivationMessage, 16) +
           '\n';
}

constexpr qint64 kMaxRequest = 256; // a request is one short line; anything longer is not ours

} // namespace

SingleInstance::SingleInstance(const QString &name, const QString &runtimeDir, QObject *parent)
    : QObject(parent), m_name(name), m_dir(runtimeDir)
{
    if (m_dir.isEmpty())
        m_dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
}

QString SingleInstance::lockPath() const
{
    return m_dir + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return m_dir + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

SingleInstance::Role SingleInstance::start(int timeoutMs)
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Staleness is decided by whether the holder's process still runs, not by the lock's age.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            m_delivered = sendActivation(timeoutMs);
            if (!m_delivered)
                qCWarning(lcInstance) << "the running copy did not answer on" << socketPath();
            return Role::Secondary;
        }
        // No usable runtime folder: run without the guard rather than not at all.
        qCWarning(lcInstance) << "cannot take" << lockPath() << "error" << m_lock->error();
        m_lock.reset();
    }

    // The lock, not listen()'s result, decides who is first; a socket file left by a crash
    // would otherwise block the bind.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::NoOptions);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(socketPath()))
        qCWarning(lcInstance) << "cannot listen on" << socketPath() << m_server->errorString();
    return Role::Primary;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { onClientReadable(client); });
        onClientReadable(client);
    }
}

void SingleInstance::onClientReadable(QLocalSocket *client)
{
    if (!client->canReadLine()) {
        if (client->bytesAvailable() > kMaxRequest)
            client->abort();
        return;
    }
    const QByteArray line = client->readLine(kMaxRequest);
    if (line == activationLine()) {
        client->write("OK\n");
        client->flush();
        emit activationRequested();
    }
    client->disconnectFromServer();
}

bool SingleInstance::sendActivation(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.write(activationLine());
            if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
                return false;
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            }
            return socket.canReadLine() && socket.readLine() == "OK\n";
        }
        // The first copy holds the lock but may not listen yet.
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}
