#include "app/single_instance.h"

#include <QLocalSocket>

namespace korvan {

SingleInstance::SingleInstance(const QString& name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500)) {
        anotherRunning_ = true;
        probe.disconnectFromServer();
        return;
    }
    // A copy that crashed leaves its socket file behind; nobody answers on it.
    QLocalServer::removeServer(name);
    server_.listen(name);
    // A later copy only needs to reach us; its connection is dropped at once.
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->disconnectFromServer();
            socket->deleteLater();
        }
    });
}

}  // namespace korvan
