// korvan-relay: a small relay server for remote support. The customer's tool and
// the technician's tool both poll it; each GET of /support3.php posts the
// sender's message and answers with the other side's next one.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <cstdio>

#include "tools/relay/relay_server.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("korvan-relay");

    QCommandLineParser parser;
    parser.setApplicationDescription("Relay server for KORVAN KX4 remote support");
    parser.addHelpOption();
    QCommandLineOption listen("listen", "Address to listen on (default 127.0.0.1).", "ADDR",
                              "127.0.0.1");
    QCommandLineOption port("port", "TCP port, 0 for any free one (default 8080).", "N", "8080");
    QCommandLineOption verbose("verbose", "Print each request line and the status answered.");
    parser.addOptions({listen, port, verbose});
    parser.process(app);

    QHostAddress address;
    if (!address.setAddress(parser.value(listen))) {
        std::fprintf(stderr, "korvan-relay: not an address: %s\n",
                     qPrintable(parser.value(listen)));
        return 2;
    }
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) {
        std::fprintf(stderr, "korvan-relay: not a port: %s\n", qPrintable(parser.value(port)));
        return 2;
    }

    korvan::RelayServer server;
    if (parser.isSet(verbose)) {
        server.SetObserver([](const std::string& head, int status) {
            std::printf("%d %s\n", status, head.substr(0, head.find("\r\n")).c_str());
            std::fflush(stdout);
        });
    }
    if (!server.Listen(address, static_cast<quint16>(portNumber))) {
        std::fprintf(stderr, "korvan-relay: cannot listen on %s:%u: %s\n",
                     qPrintable(address.toString()), portNumber, qPrintable(server.ErrorText()));
        return 1;
    }
    std::printf("korvan-relay listening on %s port %u\n", qPrintable(address.toString()),
                server.Port());
    std::fflush(stdout);
    return app.exec();
}
