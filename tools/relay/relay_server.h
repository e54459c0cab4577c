// The reference relay server on a TCP port: one request per connection, the
// answer from RelayService, then the connection is closed.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <functional>
#include <map>
#include <string>

#include "tools/relay/relay_service.h"

class QTcpServer;
class QTcpSocket;

namespace korvan {

class RelayServer : public QObject {
    Q_OBJECT
  public:
    // A client that has not sent its whole request by then is dropped.
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr int MaxConnections = 64;

    explicit RelayServer(QObject* parent = nullptr);
    ~RelayServer() override;

    // Port 0 picks a free port; Port() tells which.
    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const;
    QString ErrorText() const;

    // Called with each complete request head and the status answered.
    void SetObserver(std::function<void(const std::string& head, int status)> observer) {
        observer_ = std::move(observer);
    }
    RelayService& Service() { return service_; }

  private:
    void Accept();
    void Read(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const std::string& head, const RelayHttpResponse& response);

    QTcpServer* server_;
    RelayService service_;
    std::function<void(const std::string&, int)> observer_;
    int connections_ = 0;
    std::map<QTcpSocket*, QByteArray> pending_;  // requests not answered yet
};

}  // namespace korvan
