// Check of the Directory against real servers on loopback: the demo BBS over TCP, socat's TLS
// in front of it, OpenSSH's server, a port where nothing listens and a name that does not
// resolve; all at once through the prober, as the window runs them.
#include "SshServer.h"

#include "session/secure/HostProbe.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <mutex>

namespace {

struct TCase
{
    TProbeTarget Target;
    bool Answered;
    std::string Part; // what the result says
};

} // namespace

TEST(Probe, RealServersAllAtOnce)
{
    for (const char *tool : {"socat", "openssl"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is not installed";
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(name).toStdString(); };
    TChild bbs;
    ASSERT_TRUE(bbs.StartServer(DEMOBBS_BIN, {"--port", "0", "--sysop-delay", "0"}));
    // A certificate for 127.0.0.1 that is its own authority: trusted once SSL_CERT_FILE names it.
    ASSERT_TRUE(TSshServer::Run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                            "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=127.0.0.1",
                                            "-addext", "subjectAltName=IP:127.0.0.1", "-days", "1", "-keyout",
                                            dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")}));
    const uint16_t tlsPort = UnusedPort();
    TChild tls;
    ASSERT_TRUE(
        tls.StartOn("socat",
                    {QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                         .arg(tlsPort)
                         .arg(dir.filePath("cert.pem"), dir.filePath("key.pem")),
                     "EXEC:" DEMOBBS_BIN " --stdio --sysop-delay 0"},
                    tlsPort));
    TSshServer ssh;
    if (!ssh.Start("exec " DEMOBBS_BIN " --stdio --sysop-delay 0"))
        GTEST_SKIP() << "sshd does not start here";
    WriteAll(dir.filePath("known_hosts"), ssh.KnownHostsLine());
    // A TCP listener that never says a word: a TLS handshake there runs out of time.
    LoopbackServer mute;

    const auto at = [&](uint16_t port, THostTransport t, const std::string &known = "") {
        return TProbeTarget{"127.0.0.1", port, t, known.empty() ? path("none") : known, path("known_certs")};
    };
    const std::vector<TCase> cases = {
        {at(bbs.Port, THostTransport::Tcp), true, "ms; "},
        {at(tlsPort, THostTransport::Tls), true, "TLS 1.3, certificate not trusted"},
        {at(ssh.Port, THostTransport::Ssh), true, "SSH-2.0-OpenSSH"},
        {at(ssh.Port, THostTransport::Ssh, path("known_hosts")), true, "ssh-ed25519, key accepted before"},
        {at(UnusedPort(), THostTransport::Tcp), false, "connection refused"},
        {TProbeTarget{"nothing.invalid", 23, THostTransport::Tcp, "", ""}, false,
         "nothing.invalid is not known"},
        {at(ssh.Port, THostTransport::Tls), false, "no TLS"},
    };
    std::mutex lock;
    std::vector<std::string> results(cases.size());
    std::vector<bool> answered(cases.size());
    size_t done = 0;
    THostProber prober(
        [&](size_t i, const TProbeResult &r) {
            std::lock_guard<std::mutex> hold(lock);
            results[i] = (r.ConnectMs >= 0 ? std::to_string(r.ConnectMs) + " ms; " : "") + r.Text;
            answered[i] = r.Answered;
            ++done;
        },
        THostProber::MaxAtOnce, THostProber::TimeoutMs);
    std::vector<TProbeTarget> targets;
    for (const TCase &c : cases)
        targets.push_back(c.Target);
    prober.Start(targets);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::lock_guard<std::mutex> hold(lock);
            return done == cases.size();
        },
        Patience));
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_NE(results[i].find(cases[i].Part), std::string::npos) << i << ": " << results[i];
        EXPECT_EQ(answered[i], cases[i].Answered) << i << ": " << results[i];
    }

    std::atomic<bool> stop{false};
    EXPECT_EQ(ProbeHost(at(mute.Port, THostTransport::Tls), 300, stop).Text,
              "TLS handshake: no answer within 300 ms");
    // With the certificate trusted by the system's authorities.
    qputenv("SSL_CERT_FILE", dir.filePath("cert.pem").toLocal8Bit());
    EXPECT_EQ(ProbeHost(at(tlsPort, THostTransport::Tls), 5000, stop).Text, "TLS 1.3, certificate trusted");
    qunsetenv("SSL_CERT_FILE");
}
