#include "tools/relay/relay_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace korvan {

namespace {
constexpr char HeadEnd[] = "\r\n\r\n";
}  // namespace

RelayServer::RelayServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &RelayServer::Accept);
}

RelayServer::~RelayServer() = default;

bool RelayServer::Listen(const QHostAddress& address, quint16 port) {
    return server_->listen(address, port);
}

quint16 RelayServer::Port() const { return server_->serverPort(); }

QString RelayServer::ErrorText() const { return server_->errorString(); }

void RelayServer::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (connections_ >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++connections_;
        pending_.emplace(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --connections_;
            pending_.erase(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(RequestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void RelayServer::Read(QTcpSocket* socket) {
    auto found = pending_.find(socket);
    if (found == pending_.end()) {
        socket->readAll();  // answered already; anything further is ignored
        return;
    }
    QByteArray& buffer = found->second;
    buffer += socket->read(static_cast<qint64>(RelayService::MaxRequestBytes) + 4 - buffer.size());
    const qsizetype end = buffer.indexOf(HeadEnd);
    if (end < 0) {
        if (static_cast<size_t>(buffer.size()) > RelayService::MaxRequestBytes) {
            Answer(socket, std::string(buffer.constData(), 0),
                   MakeRelayResponse(414, RelayPage("")));
        }
        return;
    }
    const std::string head(buffer.constData(), static_cast<size_t>(end) + 4);
    Answer(socket, head, service_.Handle(head));
}

void RelayServer::Answer(QTcpSocket* socket, const std::string& head,
                         const RelayHttpResponse& response) {
    pending_.erase(socket);
    if (observer_) observer_(head, response.Status);
    socket->write(response.Text.data(), static_cast<qint64>(response.Text.size()));
    socket->disconnectFromHost();
}

}  // namespace korvan
