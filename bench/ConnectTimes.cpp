#include "bench/ConnectTimes.h"

#include "bench/BenchNet.h"

#include "net/dWinsock.h"
#include "session/secure/SshTransport.h"
#include "session/secure/TlsTransport.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Runs = 15;

uint16_t FreePort()
{
    uint16_t port = 0;
    ::close(Listen(port));
    return port;
}

bool Listening(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

bool Start(QProcess &p, const QString &program, const QStringList &args, uint16_t port)
{
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForStarted(5000) &&
           QTest::qWaitFor([&] { return Listening(port) || p.state() == QProcess::NotRunning; }, 10000) &&
           p.state() == QProcess::Running;
}

void Stop(QProcess &p)
{
    p.terminate();
    if (!p.waitForFinished(5000)) p.kill();
    p.waitForFinished(5000);
}

bool Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitCode() == 0;
}

// Runs the event loop until done() holds (no polling interval in the way of the timing).
template <typename F> bool Await(F done, int ms)
{
    QEventLoop loop;
    QTimer tick, limit;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(0);
    limit.start(ms);
    if (!done()) loop.exec();
    return done();
}

struct Accepting : TTransportListener
{
    bool Done = false, Open = false;
    void TransportStep(TTransportStep) override {}
    void TransportConnected() override { Done = Open = true; }
    void TransportReceived(const uint8_t *, size_t) override {}
    void TransportClosed(TCloseKind, const std::string &) override { Done = true; }
    void TransportFailed(const std::string &m) override
    {
        std::printf("  (failed: %s)\n", m.c_str());
        Done = true;
    }
    void TransportAskTrust(const TTrustQuestion &, std::function<void(bool)> answer) override
    {
        answer(true);
    }
    void TransportAskPassword(const std::string &, const std::string &,
                              std::function<void(std::optional<std::string>)> answer) override
    {
        answer(std::nullopt);
    }
};

void Report(const char *what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("connect over %s: skipped (the server did not start here)\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("connect over %s on loopback: median %.2f ms (min %.2f, max %.2f, %zu runs)\n", what,
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
}

// Times Open to the open pipe; the first connection (trust on first use) is not counted.
template <typename Make> std::vector<double> Time(Make make, const TEndpoint &e)
{
    std::vector<double> ms;
    for (int i = 0; i <= Runs; ++i) {
        auto t = make();
        Accepting l;
        const auto start = Clock::now();
        t->Open(e, l);
        if (!Await([&] { return l.Done; }, 20000) || !l.Open) return {};
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (i > 0) ms.push_back(took);
        t->Close();
    }
    return ms;
}

std::vector<double> TimeTcp(uint16_t port)
{
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) {
        TBasicClientSocket c;
        bool done = false;
        c.OnConnect = [&](TSockCtrl *, TSocketBase *) { done = true; };
        c.SetAddress("127.0.0.1");
        c.SetPort(std::to_string(port));
        const auto start = Clock::now();
        c.Open();
        if (!Await([&] { return done; }, 10000)) return {};
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        c.Close();
    }
    return ms;
}

} // namespace

void MeasureConnectTimes(const char *demoBbs)
{
    QTemporaryDir dir;
    auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    const QString bbs = QString::fromLocal8Bit(demoBbs);

    QProcess plain;
    const uint16_t tcpPort = FreePort();
    Report("TCP", Start(plain, bbs, {"--port", QString::number(tcpPort)}, tcpPort) ? TimeTcp(tcpPort)
                                                                                   : std::vector<double>{});
    Stop(plain);

    QProcess socat;
    const uint16_t tlsPort = FreePort();
    std::vector<double> tls;
    if (Run("openssl",
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
             "/CN=bench", "-days", "1", "-keyout", path("key.pem"), "-out", path("cert.pem")}) &&
        Start(socat, "socat",
              {QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                   .arg(tlsPort)
                   .arg(path("cert.pem"), path("key.pem")),
               "EXEC:" + bbs + " --stdio"},
              tlsPort)) {
        TEndpoint e;
        e.Host = "127.0.0.1";
        e.Port = tlsPort;
        tls = Time([&] { return std::make_unique<TTlsTransport>(path("known_certs").toStdString()); }, e);
    }
    Report("TLS", tls);
    Stop(socat);

    // SSH: OpenSSH's server from this folder, as root only (it must switch users).
    QProcess sshd;
    const uint16_t sshPort = FreePort();
    std::vector<double> ssh;
    QDir().mkpath(path("home/.ssh"));
    QFile config(path("sshd_config"));
    if (::geteuid() == 0 && Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path("hostkey")}) &&
        Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path("home/.ssh/id_ed25519")}) &&
        QFile::copy(path("home/.ssh/id_ed25519.pub"), path("authorized_keys")) &&
        config.open(QIODevice::WriteOnly)) {
        config.write(QString("ListenAddress 127.0.0.1:%1\nHostKey %2\nPidFile %3\nAuthorizedKeysFile %4\n"
                             "StrictModes no\nUsePAM no\nPermitRootLogin yes\nForceCommand %5 --stdio\n")
                         .arg(sshPort)
                         .arg(path("hostkey"), path("sshd.pid"), path("authorized_keys"), bbs)
                         .toUtf8());
        config.close();
        QDir().mkpath("/run/sshd");
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", path("home").toUtf8());
        if (Start(sshd, "/usr/sbin/sshd", {"-D", "-f", path("sshd_config")}, sshPort)) {
            TEndpoint e;
            e.Host = "127.0.0.1";
            e.Port = sshPort;
            e.User = "root";
            ssh = Time([&] { return std::make_unique<TSshTransport>(path("known_hosts").toStdString()); }, e);
        }
        qputenv("HOME", home);
    }
    Report("SSH", ssh);
    Stop(sshd);
}

TSecureRelay::~TSecureRelay()
{
    Stop(FServer);
    if (FSsh) qputenv("HOME", FHome);
}

uint16_t TSecureRelay::StartTls(uint16_t backend)
{
    auto path = [&](const char *name) { return FDir.filePath(QString::fromLatin1(name)); };
    const uint16_t port = FreePort();
    if (!Run("openssl",
             {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
              "/CN=bench", "-days", "1", "-keyout", path("key.pem"), "-out", path("cert.pem")}) ||
        !Start(FServer, "socat",
               {QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                    .arg(port)
                    .arg(path("cert.pem"), path("key.pem")),
                QString("TCP:127.0.0.1:%1,nodelay").arg(backend)},
               port))
        return 0;
    return port;
}

uint16_t TSecureRelay::StartSsh(uint16_t backend)
{
    auto path = [&](const char *name) { return FDir.filePath(QString::fromLatin1(name)); };
    const uint16_t port = FreePort();
    QDir().mkpath(path("home/.ssh"));
    QFile config(path("sshd_config"));
    if (::geteuid() != 0 || !Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path("hostkey")}) ||
        !Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path("home/.ssh/id_ed25519")}) ||
        !QFile::copy(path("home/.ssh/id_ed25519.pub"), path("authorized_keys")) ||
        !config.open(QIODevice::WriteOnly))
        return 0;
    // The forced command runs in a terminal in cooked mode: raw, or it would turn the
    // stream's line ends and the client's answers into something else.
    config.write(QString("ListenAddress 127.0.0.1:%1\nHostKey %2\nPidFile %3\nAuthorizedKeysFile %4\n"
                         "StrictModes no\nUsePAM no\nPermitRootLogin yes\n"
                         "ForceCommand stty raw -echo; exec socat - TCP:127.0.0.1:%5,nodelay\n")
                     .arg(port)
                     .arg(path("hostkey"), path("sshd.pid"), path("authorized_keys"))
                     .arg(backend)
                     .toUtf8());
    config.close();
    QDir().mkpath("/run/sshd");
    // The client finds its key under HOME, for as long as this relay lives.
    FSsh = true;
    FHome = qgetenv("HOME");
    qputenv("HOME", path("home").toUtf8());
    return Start(FServer, "/usr/sbin/sshd", {"-D", "-f", path("sshd_config")}, port) ? port : 0;
}

bool TSecureRelay::Trust(const QString &configDir, uint16_t port)
{
    TEndpoint e;
    e.Host = "127.0.0.1";
    e.Port = port;
    e.User = "root";
    std::unique_ptr<TTransport> t;
    if (FSsh)
        t = std::make_unique<TSshTransport>(QDir(configDir).filePath("known_hosts").toStdString());
    else
        t = std::make_unique<TTlsTransport>(QDir(configDir).filePath("known_certs").toStdString());
    Accepting l;
    t->Open(e, l);
    const bool ok = Await([&] { return l.Done; }, 20000) && l.Open;
    t->Close();
    return ok;
}
