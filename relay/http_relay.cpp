#include "relay/http_relay.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <future>
#include <optional>
#include <thread>

namespace korvan {

namespace {

// A status line or header, or the head as a whole, beyond this is no relay's.
constexpr qsizetype MaxHeadBytes = 64 * 1024;

enum class Failure { None, TimedOut, TooLarge, Invalid, Network };

struct Outcome {
    Failure Failed = Failure::None;
    QString NetworkError;
    int Status = 0;
    QByteArray Reason;
    QByteArray Body;
};

int Remaining(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

QByteArray RequestHead(const QUrl& url, const QList<QNetworkCookie>& cookies) {
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/')) target.prepend('/');
    const QString authority = url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded);
    // The relay pages were written for this exact client; keep its headers.
    QByteArray head = "GET " + target + " HTTP/1.1\r\nHost: " + authority.toLatin1() +
                      "\r\n"
                      "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                      "Accept: text/html, */*\r\n"
                      "Accept-Encoding: *\r\n"
                      "Cache-Control: \"no-cache\"\r\n"
                      "Content-Type: text/html\r\n";
    if (!cookies.isEmpty()) {
        QList<QByteArray> pairs;
        for (const QNetworkCookie& cookie : cookies)
            pairs.append(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
        head += "Cookie: " + pairs.join("; ") + "\r\n";
    }
    // One GET per connection: the socket belongs to the calling thread and
    // the call, and a connection kept between calls would belong to neither.
    return head + "Connection: close\r\n\r\n";
}

// The host's addresses, or nothing when the deadline passed first. The lookup
// itself cannot be interrupted: it runs on a thread of its own, left to finish
// in the background when the exchange gives up on it.
std::optional<QHostInfo> Lookup(const QString& host, const QDeadlineTimer& deadline) {
    QHostInfo info;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        info.setAddresses({literal});
        return info;
    }
    std::promise<QHostInfo> promise;
    std::future<QHostInfo> found = promise.get_future();
    std::thread([host, promise = std::move(promise)]() mutable {
        promise.set_value(QHostInfo::fromName(host));
    }).detach();
    if (found.wait_for(std::chrono::milliseconds(Remaining(deadline))) != std::future_status::ready)
        return std::nullopt;
    return found.get();
}

// A wait on the socket failed: for want of time, or for the connection's sake.
bool SocketFailed(const QTcpSocket& socket, const QDeadlineTimer& deadline, Outcome& out) {
    if (deadline.hasExpired() || socket.error() == QAbstractSocket::SocketTimeoutError) {
        out.Failed = Failure::TimedOut;
    } else {
        out.Failed = Failure::Network;
        out.NetworkError = socket.errorString();
    }
    return false;
}

// Connected, and encrypted for "https://", within the deadline.
bool Connect(QTcpSocket& socket, const QUrl& url, const QDeadlineTimer& deadline, Outcome& out) {
    const std::optional<QHostInfo> info = Lookup(url.host(), deadline);
    if (!info) {
        out.Failed = Failure::TimedOut;
        return false;
    }
    const QList<QHostAddress> addresses = info->addresses();
    if (addresses.isEmpty()) {
        out.Failed = Failure::Network;
        out.NetworkError = info->errorString();
        return false;
    }
    const bool https = url.scheme() == "https";
    const auto port = static_cast<quint16>(url.port(https ? 443 : 80));
    for (qsizetype i = 0;; ++i) {
        socket.connectToHost(addresses[i], port);
        if (socket.waitForConnected(Remaining(deadline))) break;
        if (i + 1 == addresses.size() || deadline.hasExpired())
            return SocketFailed(socket, deadline, out);
        socket.abort();
    }
    if (https) {
        auto& tls = static_cast<QSslSocket&>(socket);
        // Connected by address: the certificate is checked against the name.
        tls.setPeerVerifyName(url.host());
        tls.startClientEncryption();
        if (!tls.waitForEncrypted(Remaining(deadline))) return SocketFailed(tls, deadline, out);
    }
    return true;
}

bool Send(QTcpSocket& socket, const QByteArray& head, const QDeadlineTimer& deadline,
          Outcome& out) {
    socket.write(head);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(Remaining(deadline)))
            return SocketFailed(socket, deadline, out);
    }
    return true;
}

// An HTTP/1.1 answer read off a connected socket in blocking waits, all of them
// bounded by the exchange's one deadline.
class AnswerReader {
  public:
    AnswerReader(QTcpSocket& socket, const QDeadlineTimer& deadline, int64_t maxBody, Outcome& out)
        : socket_(socket), deadline_(deadline), maxBody_(maxBody), out_(out) {}

    // The status line and headers, interim (1xx) answers skipped; the
    // Set-Cookie values are collected.
    bool ReadHead(QList<QByteArray>& cookies) {
        do {
            const qsizetype start = Consumed();
            QByteArray line;
            if (!ReadLine(line, start)) return false;
            bool ok = line.startsWith("HTTP/1.") && line.size() >= 12 && line[8] == ' ' &&
                      (line.size() == 12 || line[12] == ' ');
            out_.Status = ok ? line.mid(9, 3).toInt(&ok) : 0;
            if (!ok || out_.Status < 100) return Fail(Failure::Invalid);
            out_.Reason = line.mid(13);
            chunked_ = false;
            length_ = -1;
            while (ReadLine(line, start) && !line.isEmpty()) {
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0) return Fail(Failure::Invalid);
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "set-cookie") {
                    cookies.append(value);
                } else if (name == "transfer-encoding") {
                    chunked_ = value.toLower().endsWith("chunked");
                } else if (name == "content-length") {
                    length_ = value.toLongLong(&ok);
                    if (!ok || length_ < 0) return Fail(Failure::Invalid);
                }
            }
            if (out_.Failed != Failure::None) return false;
        } while (out_.Status < 200);
        return true;
    }

    // The body as the head frames it: chunked, by Content-Length, or up to the
    // end of the connection.
    bool ReadBody() {
        if (chunked_) return ReadChunked();
        if (length_ >= 0) {
            if (length_ > maxBody_) return Fail(Failure::TooLarge);
            return Take(length_);
        }
        while (More()) {
            if (buffer_.size() - pos_ > maxBody_) return Fail(Failure::TooLarge);
        }
        if (out_.Failed != Failure::None) return false;
        out_.Body = buffer_.mid(pos_);
        return true;
    }

  private:
    qsizetype Consumed() const { return dropped_ + pos_; }

    bool Fail(Failure failure) {
        out_.Failed = failure;
        return false;
    }

    // The connection ended inside the answer.
    bool Truncated() {
        if (out_.Failed != Failure::None) return false;
        out_.NetworkError = socket_.errorString();
        return Fail(Failure::Network);
    }

    // More bytes in the buffer: false at the end of the connection, or on a
    // failure (out_.Failed set).
    bool More() {
        // Checked before the buffer: a server trickling bytes never lets a wait time out.
        if (deadline_.hasExpired()) return Fail(Failure::TimedOut);
        if (pos_ > MaxHeadBytes) {
            buffer_.remove(0, pos_);
            dropped_ += pos_;
            pos_ = 0;
        }
        while (socket_.bytesAvailable() == 0) {
            if (socket_.state() == QAbstractSocket::ConnectedState &&
                socket_.waitForReadyRead(Remaining(deadline_)))
                continue;
            if (socket_.bytesAvailable() > 0) break;
            // A reset or a TLS failure ends no answer; only the server's close does.
            if (socket_.state() != QAbstractSocket::ConnectedState &&
                socket_.error() == QAbstractSocket::RemoteHostClosedError)
                return false;
            return SocketFailed(socket_, deadline_, out_);
        }
        buffer_ += socket_.readAll();
        return true;
    }

    // One line without its end (CRLF, or a bare LF); what has been read since
    // `start` stays within MaxHeadBytes.
    bool ReadLine(QByteArray& line, qsizetype start) {
        for (;;) {
            const qsizetype end = buffer_.indexOf('\n', pos_);
            if (end >= 0 && dropped_ + end - start < MaxHeadBytes) {
                line = buffer_.mid(pos_, end - pos_);
                if (line.endsWith('\r')) line.chop(1);
                pos_ = end + 1;
                return true;
            }
            if (dropped_ + buffer_.size() - start >= MaxHeadBytes) return Fail(Failure::Invalid);
            if (!More()) return Truncated();
        }
    }

    bool Take(qsizetype count) {
        while (buffer_.size() - pos_ < count) {
            if (!More()) return Truncated();
        }
        out_.Body += buffer_.mid(pos_, count);
        pos_ += count;
        return true;
    }

    bool ReadChunked() {
        QByteArray line;
        for (;;) {
            if (!ReadLine(line, Consumed())) return false;
            bool ok = false;
            const qsizetype extension = line.indexOf(';');
            if (extension >= 0) line.truncate(extension);
            const qint64 size = line.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) return Fail(Failure::Invalid);
            if (size == 0) break;
            if (size > maxBody_ - out_.Body.size()) return Fail(Failure::TooLarge);
            if (!Take(size) || !ReadLine(line, Consumed())) return false;
            if (!line.isEmpty()) return Fail(Failure::Invalid);
        }
        // Trailers, bounded like a head, up to the empty line.
        const qsizetype start = Consumed();
        while (ReadLine(line, start)) {
            if (line.isEmpty()) return true;
        }
        return false;
    }

    QTcpSocket& socket_;
    const QDeadlineTimer& deadline_;
    const int64_t maxBody_;
    Outcome& out_;
    QByteArray buffer_;
    qsizetype pos_ = 0;      // the first byte of buffer_ not yet taken
    qsizetype dropped_ = 0;  // bytes taken and removed from the front of buffer_
    bool chunked_ = false;
    qint64 length_ = -1;
};

}  // namespace

HttpRelayTransport::HttpRelayTransport(CueCallback cue)
    : cue_(std::move(cue)), cookies_(std::make_unique<QNetworkCookieJar>()) {}

HttpRelayTransport::~HttpRelayTransport() = default;

void HttpRelayTransport::SetExchangeLimit(std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    limit_ = limit;
}

void HttpRelayTransport::SetSslConfiguration(const QSslConfiguration& configuration) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    tls_ = std::make_unique<QSslConfiguration>(configuration);
}

void HttpRelayTransport::Cue(bool busy) {
    if (cue_) cue_(busy);
}

bool HttpRelayTransport::RelayExchange(RelayState& state) {
    if (busy_.exchange(true)) {
        // One exchange at a time: the relay state is shared by both.
        state.RelayStatusText = RelayBusyText;
        return false;
    }
    std::chrono::milliseconds limit;
    std::optional<QSslConfiguration> tls;
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        limit = limit_;
        if (tls_) tls = *tls_;
    }
    const QDeadlineTimer deadline(limit.count());
    state.RelayStatusText.clear();
    const std::string url = BuildRequestUrl(state, RelayTimeStampNow());
    Cue(true);

    bool ok = false;
    const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
    const bool https = qurl.scheme() == "https";
    if (!qurl.isValid() || qurl.host().isEmpty() || (!https && qurl.scheme() != "http")) {
        state.RelayStatusText = "Invalid relay address: " + url.substr(0, url.find('?'));
    } else {
        Outcome out;
        std::unique_ptr<QTcpSocket> socket;
        if (https) {
            auto tlsSocket = std::make_unique<QSslSocket>();
            if (tls) tlsSocket->setSslConfiguration(*tls);
            socket = std::move(tlsSocket);
        } else {
            socket = std::make_unique<QTcpSocket>();
        }
        socket->setProxy(QNetworkProxy::NoProxy);
        if (Connect(*socket, qurl, deadline, out) &&
            Send(*socket, RequestHead(qurl, cookies_->cookiesForUrl(qurl)), deadline, out)) {
            AnswerReader reader(*socket, deadline, MaxResponseBytes, out);
            QList<QByteArray> cookies;
            if (reader.ReadHead(cookies)) {
                for (const QByteArray& cookie : cookies)
                    cookies_->setCookiesFromUrl(QNetworkCookie::parseCookies(cookie), qurl);
                // Only a relay page's body is of use.
                if (out.Status == 200) reader.ReadBody();
            }
            socket->abort();
        }

        switch (out.Failed) {
            case Failure::TimedOut:
                state.RelayStatusText = "No answer from the relay server within " +
                                        std::to_string((limit.count() + 999) / 1000) + " s";
                break;
            case Failure::TooLarge:
                state.RelayStatusText =
                    "Relay answer larger than " + std::to_string(MaxResponseBytes) + " bytes";
                break;
            case Failure::Invalid:
                state.RelayStatusText = "Invalid answer from the relay server";
                break;
            case Failure::Network:
                state.RelayStatusText = out.NetworkError.toStdString();
                break;
            case Failure::None:
                if (out.Status != 200) {
                    state.RelayStatusText =
                        "HTTP/1.1 " + std::to_string(out.Status) + " " + out.Reason.toStdString();
                } else {
                    std::string error;
                    ok = ParseRelayResponse(state,
                                            std::string_view(out.Body.constData(),
                                                             static_cast<size_t>(out.Body.size())),
                                            error);
                    if (!ok) state.RelayStatusText = error;
                }
                break;
        }
    }

    Cue(false);
    busy_ = false;
    return ok;
}

}  // namespace korvan
