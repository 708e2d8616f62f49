#include "app/single_instance.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace orvanta {

QString SingleInstanceSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + "/orvanta-server.console";
    }
    return QDir::tempPath() + "/orvanta-server-" + QString::number(::getuid()) + ".console";
}

CSingleInstance::CSingleInstance(QString socketPath) : m_socketPath(std::move(socketPath)) {}

bool CSingleInstance::Claim() {
    QLocalSocket running;
    running.connectToServer(m_socketPath);
    if (running.waitForConnected(1000)) {
        running.write("raise\n");
        running.waitForBytesWritten(1000);
        running.disconnectFromServer();
        return false;
    }
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket the console still runs; it only cannot be brought forward.
    m_server.listen(m_socketPath);
    return true;
}

}  // namespace orvanta
