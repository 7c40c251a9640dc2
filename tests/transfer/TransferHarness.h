// File transfers between real programs on 127.0.0.1 (the tests' and the benchmark's): the
// demo BBS (or a bare sz behind a socket) on one side, the program's session and lrzsz on
// ours.
#pragma once

#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "session/Session.h"
#include "session/qt/QtChildProcess.h"
#include "session/qt/QtSessionPlatform.h"
#include "session/qt/TransportFactory.h"
#include "terminal/ColorTTY.h"
#include "tests/common/Child.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <random>

// Generous: the CI machine is small and busy; waits end as soon as their condition holds.
constexpr int TransferPatience = 60000;

// Random bytes, or with Iac set mostly 0xFF among Telnet and ZMODEM look-alikes.
inline std::string Bytes(size_t size, unsigned seed, bool iac = false)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (char &c : s)
        c = static_cast<char>(iac && gen() % 4 ? 0xFF : gen() % 256);
    if (iac && size > 64) s.replace(7, 14, "\xFF\xFD\x18\xFF\xFA\x18\x01\xFF\xF0\x18\x18**\x18", 14);
    return s;
}

// The demo BBS with a file area, on a free port.
struct TDemoBbs : TChild
{
    QTemporaryDir Dir;
    QString Files = Dir.filePath("files");
    ~TDemoBbs() { Stop(); }
    bool Start()
    {
        QDir().mkpath(Files);
        return StartServer(DEMOBBS_BIN, {"--port", "0", "--files", Files, "--sysop-delay", "3600"});
    }
};

// A bare lrzsz tool behind a socket, Telnet-framed: senders for offers no BBS folder can
// hold, receivers for the protocols the demo BBS does not speak.
struct TBareTool
{
    QTcpServer Server;
    QTcpSocket *Peer = nullptr;
    QProcess Sz;
    int State = 0;

    bool Listen(const QString &folder, const QStringList &args, const QString &program = "sz")
    {
        QObject::connect(&Server, &QTcpServer::newConnection, [this, folder, args, program] {
            Peer = Server.nextPendingConnection();
            QObject::connect(Peer, &QTcpSocket::readyRead, [this] {
                QByteArray data;
                for (char c : Peer->readAll()) {
                    const auto b = static_cast<uint8_t>(c);
                    switch (State) { // data, IAC, option byte, subnegotiation, IAC in it
                    case 0:
                        if (b == 0xFF)
                            State = 1;
                        else
                            data += c;
                        break;
                    case 1:
                        if (b == 0xFF) data += c;
                        State = b == 0xFF ? 0 : b >= 0xFB ? 2 : b == 0xFA ? 3 : 0;
                        break;
                    case 2:
                        State = 0;
                        break;
                    default:
                        State = State == 3 ? (b == 0xFF ? 4 : 3) : (b == 0xF0 ? 0 : 3);
                        break;
                    }
                }
                Sz.write(data);
            });
            QObject::connect(&Sz, &QProcess::readyReadStandardOutput, [this] {
                Peer->write(Sz.readAllStandardOutput().replace("\xFF", QByteArray("\xFF\xFF", 2)));
            });
            Sz.setWorkingDirectory(folder);
            Sz.start(program, QStringList{"--quiet"} + args);
        });
        return Server.listen(QHostAddress::LocalHost, 0);
    }
    ~TBareTool() { Sz.kill(), Sz.waitForFinished(); }
};

// socat's TLS in front of a loopback port, with a self-signed certificate made in Dir.
inline bool TlsTerminator(TChild &socat, const QTemporaryDir &dir, uint16_t to)
{
    const QString cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
    const uint16_t port = UnusedPort();
    return QProcess::execute("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                         "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj",
                                         "/CN=127.0.0.1", "-keyout", key, "-out", cert}) == 0 &&
           socat.StartOn("socat",
                         {QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                              .arg(port)
                              .arg(cert, key),
                          QString("TCP:127.0.0.1:%1").arg(to)},
                         port);
}

// Our side: the program's session on a Telnet host, its TCP transport, the Qt platform and
// lrzsz.
struct TClient : TSessionListener
{
    QTemporaryDir Downloads, Settings;
    std::string Folder = Downloads.path().toStdString();
    std::string Ini = Settings.filePath("winmarlet.INI").toStdString();
    std::unique_ptr<THostInfo> Hosts;
    std::unique_ptr<TClientPrefs> Prefs;
    std::unique_ptr<TUserFilter> Filter;
    TColorTTY Tty;
    std::unique_ptr<TSession> Session;
    std::string Screen;
    std::vector<TTransferProgress> Progress;
    std::optional<TTransferResult> Result;
    int ReadyHeaders = 0;
    std::string Error;
    TChildFactory Tools = TQtChildProcess::Factory();

    ~TClient() override { Session.reset(); }
    bool Connect(uint16_t port, const std::string &transport = "tcp")
    {
        std::ofstream(Ini) << "[Hosts]\nHost=Transfers\nAddress=127.0.0.1\nPort=" << port
                           << "\nMode=1\nLogin Name=root\nTransport=" << transport << "\n";
        Hosts = std::make_unique<THostInfo>(Ini);
        Prefs = std::make_unique<TClientPrefs>(Ini);
        Filter = std::make_unique<TUserFilter>(Ini);
        Session = std::make_unique<TSession>(TSessionStores{*Prefs, *Filter}, Tty, *this,
                                             ProgramTransports(Settings.path().toStdString()),
                                             std::make_unique<TQtSessionPlatform>());
        Session->Transfers().SetTools(Tools, Folder);
        Session->Connect(Hosts->Current());
        return WaitFor([&] { return Session->IsConnected(); });
    }
    TSessionTransfers &Transfers() { return Session->Transfers(); }
    // A real event loop: QTest::qWaitFor sleeps between its passes, which starves a pipe.
    template <class F> bool WaitFor(F done, int ms = TransferPatience)
    {
        if (done()) return true;
        QEventLoop loop;
        QTimer poll, limit;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done()) loop.quit();
        });
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        poll.start(2);
        limit.start(ms);
        loop.exec();
        return done();
    }
    bool See(const std::string &text)
    {
        return WaitFor([&] { return Screen.find(text) != std::string::npos; });
    }
    void Type(const std::string &text)
    {
        for (char c : text)
            Session->KeyPress(static_cast<uint8_t>(c));
    }
    bool Login()
    {
        if (!See("Name:")) return false;
        Type("Tester\r");
        if (!See("Password:")) return false;
        Type("secret\r");
        return See("Lobby>");
    }
    void Forget()
    {
        Result.reset();
        Progress.clear();
    }
    // The transfer is over and the terminal has the connection again.
    bool WaitReturned()
    {
        return WaitFor([&] { return Result && !Transfers().Busy(); });
    }

    void SessionStateChanged(TSessionState) override {}
    void SessionStatus(const std::string &) override {}
    void SessionOutput(const char *text) override { Screen += text; }
    void SessionError(const std::string &message) override { Error = message; }
    void SessionTransferProgress(const TTransferProgress &p) override { Progress.push_back(p); }
    void SessionTransferFinished(const TTransferResult &r) override { Result = r; }
    void SessionUploadWanted() override { ++ReadyHeaders; }
    void SessionAskTrust(const TTrustQuestion &, std::function<void(bool)> answer) override { answer(true); }
};
