// File transfers between real programs on 127.0.0.1 (the tests' and the benchmark's): the demo BBS (or a bare sz behind a
// socket) on one side, the Telnet engine, a transfer and lrzsz on ours.
#pragma once

#include "protocol/Telnet.h"
#include "protocol/Zmodem.h"
#include "session/Transfer.h"
#include "session/qt/QtChildProcess.h"

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
#include <sstream>

// Generous: the CI machine is small and busy; waits end as soon as their condition holds.
constexpr int Patience = 60000;

inline std::string ReadAll(const QString &path)
{
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void WriteAll(const QString &path, const std::string &bytes)
{
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

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
struct TDemoBbs
{
    QTemporaryDir Dir;
    QString Files = Dir.filePath("files");
    QProcess Process;
    uint16_t Port = 0;

    bool Start()
    {
        QDir().mkpath(Files);
        Process.start(DEMOBBS_BIN, {"--port", "0", "--files", Files, "--sysop-delay", "3600"});
        if (!Process.waitForReadyRead(Patience)) return false;
        const QByteArray line = Process.readLine().trimmed();
        Port = static_cast<uint16_t>(line.mid(line.lastIndexOf(':') + 1).toUInt());
        return Port != 0;
    }
    ~TDemoBbs()
    {
        if (Process.state() == QProcess::NotRunning) return;
        Process.terminate();
        if (!Process.waitForFinished(Patience)) Process.kill();
    }
};

// A bare sender (sz, sb or sx) behind a socket, Telnet-framed, for offers no BBS folder
// can hold.
struct TBareSender
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
                        if (b == 0xFF) State = 1;
                        else data += c;
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
    ~TBareSender() { Sz.kill(), Sz.waitForFinished(); }
};

// Our side: a socket, the engine, the spotter and whatever transfer runs.
struct TClient : TTransferListener, TZmodemSpotterSink
{
    QTemporaryDir Downloads;
    std::string Folder = Downloads.path().toStdString();
    QTcpSocket Socket;
    TTelnetStateMachine Engine;
    TZmodemSpotter Spotter;
    std::unique_ptr<TTransfer> Transfer;
    std::string Screen;
    std::vector<TTransferProgress> Progress;
    std::optional<TTransferResult> Result;
    bool Returned = false;
    int ReadyHeaders = 0;
    std::string StartError; // of a transfer the other side began

    QTimer Ticker;

    TClient()
    {
        QObject::connect(&Ticker, &QTimer::timeout, [this] {
            if (Transfer) Transfer->Tick();
        });
        Ticker.start(100);
        Engine.OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *b, int32_t n) {
            Socket.write(reinterpret_cast<const char *>(b), n);
        };
        Engine.OnTerminalOut = [this](TTelnetStateMachine *, const char *t) {
            Spotter.Scan(reinterpret_cast<const uint8_t *>(t), std::strlen(t), *this);
        };
        QObject::connect(&Socket, &QTcpSocket::readyRead, [this] {
            static uint8_t buf[32767];
            while (Socket.bytesAvailable() > 0) {
                const qint64 n = Socket.read(reinterpret_cast<char *>(buf), sizeof buf - 1);
                if (n <= 0) break;
                buf[n] = 0;
                Engine.ProcessInput(buf, static_cast<uint16_t>(n));
            }
        });
        QObject::connect(&Socket, &QTcpSocket::disconnected, [this] {
            if (Transfer) Transfer->ConnectionLost();
        });
    }
    bool Connect(uint16_t port)
    {
        Socket.connectToHost(QHostAddress::LocalHost, port);
        return Socket.waitForConnected(Patience);
    }
    // A real event loop: QTest::qWaitFor sleeps between its passes, which starves a pipe.
    template <class F> bool WaitFor(F done, int ms = Patience)
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
    bool See(const std::string &text) { return WaitFor([&] { return Screen.find(text) != std::string::npos; }); }
    void Type(const std::string &text)
    {
        for (char c : text)
            Engine.SendChar(static_cast<uint8_t>(c));
    }
    bool Login()
    {
        if (!See("Name:")) return false;
        Type("Tester\r");
        if (!See("Password:")) return false;
        Type("secret\r");
        return See("Lobby>");
    }
    TTransfer &NewTransfer()
    {
        Result.reset();
        Returned = false;
        Progress.clear();
        Transfer = std::make_unique<TTransfer>(Engine, TQtChildProcess::Factory(), *this);
        return *Transfer;
    }
    bool WaitReturned() { return WaitFor([&] { return Returned; }); }

    void Show(const uint8_t *t, size_t n) override { Screen.append(reinterpret_cast<const char *>(t), n); }
    void SendOffered(const uint8_t *rest, size_t n) override
    {
        std::string initial = zmodem::RequestInit + std::string(reinterpret_cast<const char *>(rest), n);
        if (!NewTransfer().Receive(TTransferProtocol::Zmodem, Folder, {}, reinterpret_cast<const uint8_t *>(initial.data()),
                                   initial.size(), StartError))
            Transfer.reset();
    }
    void ReceiveReady() override { ++ReadyHeaders; }
    void TransferProgress(const TTransferProgress &p) override { Progress.push_back(p); }
    void TransferFinished(const TTransferResult &r) override { Result = r; }
    void TransferReturned(const uint8_t *b, size_t n) override
    {
        Returned = true;
        Spotter.Scan(b, n, *this);
        QTimer::singleShot(0, &Socket, [this] { Transfer.reset(); }); // not after we are gone
    }
};
