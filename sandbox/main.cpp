// kova-sandbox: every party outside the SDK on 127.0.0.1, for the demo and
// for tests that run it as a child process.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "sandbox/SandboxServer.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-sandbox"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local stand-in for the Kova service and the host app's server"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (default: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(portOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "kova-sandbox: invalid port \"%s\"\n", qPrintable(parser.value(portOption)));
        return 2;
    }

    kova::sandbox::SandboxServer server;
    if (!server.start(static_cast<quint16>(port))) {
        std::fprintf(stderr, "kova-sandbox: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("kova-sandbox listening on http://127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    return app.exec();
}
