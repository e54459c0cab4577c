#include "relay/http_relay.h"

#include <QApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPalette>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace korvan {

namespace {

QNetworkRequest RelayRequest(const QUrl& url, const QSslConfiguration* tls) {
    QNetworkRequest request(url);
    if (tls) request.setSslConfiguration(*tls);
    // The relay pages were written for this exact client; keep its headers.
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    request.setRawHeader("Accept", "text/html, */*");
    request.setRawHeader("Accept-Encoding", "*");
    request.setRawHeader("Cache-Control", "\"no-cache\"");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/html"));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return request;
}

void SetBackground(QWidget* widget, QPalette::ColorRole role) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QApplication::palette().color(role));
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
    widget->repaint();
}

struct Outcome {
    QByteArray Body;
    int StatusCode = 0;
    QByteArray Reason;
    QNetworkReply::NetworkError Error = QNetworkReply::NoError;
    QString ErrorText;
    bool TimedOut = false;
    bool TooLarge = false;
};

// One GET; the caller's window keeps handling its events in the local loop.
Outcome Get(QNetworkAccessManager& manager, const QUrl& url, const QSslConfiguration* tls,
            std::chrono::milliseconds limit, int64_t maxBytes) {
    Outcome out;
    QNetworkReply* reply = manager.get(RelayRequest(url, tls));
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        if (out.Body.size() + reply->bytesAvailable() > maxBytes) {
            out.TooLarge = true;
            reply->abort();
            return;
        }
        out.Body += reply->readAll();
    });
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        out.TimedOut = true;
        reply->abort();
    });
    deadline.start(limit);
    if (!reply->isFinished()) loop.exec();
    deadline.stop();
    if (!out.TooLarge && !out.TimedOut) {
        if (out.Body.size() + reply->bytesAvailable() > maxBytes) {
            out.TooLarge = true;
        } else {
            out.Body += reply->readAll();
        }
    }
    out.StatusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.Reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    out.Error = reply->error();
    out.ErrorText = reply->errorString();
    reply->disconnect();
    delete reply;
    return out;
}

}  // namespace

HttpRelayTransport::HttpRelayTransport(QWidget* background) : HttpRelayTransport(CueCallback{}) {
    QPointer<QWidget> widget(background);
    cue_ = [widget](bool busy) {
        if (widget) SetBackground(widget, busy ? QPalette::Dark : QPalette::Button);
    };
}

HttpRelayTransport::HttpRelayTransport(CueCallback cue)
    : cue_(std::move(cue)), manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setProxy(QNetworkProxy::NoProxy);
    manager_->setCookieJar(new QNetworkCookieJar(manager_.get()));
}

HttpRelayTransport::~HttpRelayTransport() = default;

void HttpRelayTransport::SetSslConfiguration(const QSslConfiguration& configuration) {
    tls_ = std::make_unique<QSslConfiguration>(configuration);
}

void HttpRelayTransport::Cue(bool busy) {
    if (cue_) cue_(busy);
}

bool HttpRelayTransport::RelayExchange(RelayState& state) {
    if (busy_) {
        // One exchange at a time: the relay state is shared by both.
        state.RelayStatusText = RelayBusyText;
        return false;
    }
    busy_ = true;
    state.RelayStatusText.clear();
    const std::string url = BuildRequestUrl(state, RelayTimeStampNow());
    Cue(true);

    bool ok = false;
    const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
    if (!qurl.isValid() || qurl.host().isEmpty()) {
        state.RelayStatusText = "Invalid relay address: " + url.substr(0, url.find('?'));
    } else {
        const Outcome out = Get(*manager_, qurl, tls_.get(), limit_, MaxResponseBytes);
        if (out.TimedOut) {
            state.RelayStatusText = "No answer from the relay server within " +
                                    std::to_string((limit_.count() + 999) / 1000) + " s";
        } else if (out.TooLarge) {
            state.RelayStatusText =
                "Relay answer larger than " + std::to_string(MaxResponseBytes) + " bytes";
        } else if (out.StatusCode != 0 && out.StatusCode != 200) {
            state.RelayStatusText =
                "HTTP/1.1 " + std::to_string(out.StatusCode) + " " + out.Reason.toStdString();
        } else if (out.Error != QNetworkReply::NoError || out.StatusCode == 0) {
            state.RelayStatusText = out.ErrorText.toStdString();
        } else {
            std::string error;
            ok = ParseRelayResponse(
                state, std::string_view(out.Body.constData(), static_cast<size_t>(out.Body.size())),
                error);
            if (!ok) state.RelayStatusText = error;
        }
    }

    Cue(false);
    busy_ = false;
    return ok;
}

}  // namespace korvan
