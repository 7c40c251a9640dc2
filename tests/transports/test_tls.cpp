// The TLS transport against socat's TLS listener on loopback, in front of the demo BBS,
// with throw-away certificates made here; both secure transports against bad servers.
#include "TransportTestUtil.h"

#include "session/secure/SecureTransports.h"
#include "session/secure/TlsTransport.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <thread>

namespace {

void AddExtension(X509 *cert, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// A certificate for `name`, valid from `fromHours` to `toHours` from now: signed by the
// issuer when there is one (and then naming `name` as its subjectAltName), else by itself.
X509 *NewCertificate(EVP_PKEY *key, const char *name, long fromHours, long toHours, X509 *issuer = nullptr,
                     EVP_PKEY *issuerKey = nullptr)
{
    X509 *cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), fromHours * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), toHours * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME *subject = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(name), -1,
                               -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : subject);
    if (issuer)
        AddExtension(cert, issuer, NID_subject_alt_name,
                     (std::string(isdigit(name[0]) ? "IP:" : "DNS:") + name).c_str());
    else
        AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
    X509_sign(cert, issuer ? issuerKey : key, EVP_sha256());
    return cert;
}

bool Save(const QString &certFile, const QString &keyFile, X509 *cert, EVP_PKEY *key)
{
    FILE *c = fopen(certFile.toLocal8Bit().constData(), "w");
    FILE *k = fopen(keyFile.toLocal8Bit().constData(), "w");
    const bool ok = c && k && PEM_write_X509(c, cert) &&
                    PEM_write_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr);
    if (c) fclose(c);
    if (k) fclose(k);
    return ok;
}

struct Tls : ::testing::Test
{
    QTemporaryDir Dir;
    QString Path(const QString &name) { return Dir.filePath(name); }
    // An authority the system trusts for these tests (OpenSSL reads SSL_CERT_FILE).
    EVP_PKEY *CaKey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509 *Ca = NewCertificate(CaKey, "Test Authority", -1, 24);

    void SetUp() override
    {
        if (QStandardPaths::findExecutable("socat").isEmpty()) GTEST_SKIP() << "socat is not installed";
        Save(Path("ca.pem"), Path("ca.key"), Ca, CaKey);
        qputenv("SSL_CERT_FILE", Path("ca.pem").toLocal8Bit());
    }
    ~Tls() override
    {
        X509_free(Ca);
        EVP_PKEY_free(CaKey);
    }

    // socat's TLS listener with this certificate (self-signed, or by the authority), in front
    // of the demo BBS.
    std::unique_ptr<TChild> Terminator(const char *name, long fromHours, long toHours, uint16_t port,
                                       bool vouched = false,
                                       const QString &behind = "EXEC:" DEMOBBS_BIN " --stdio --sysop-delay 0")
    {
        const QString tag = QString::number(fromHours) + "_" + QString::number(toHours) + name;
        EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        X509 *cert = NewCertificate(key, name, fromHours, toHours, vouched ? Ca : nullptr, CaKey);
        const bool saved = Save(Path(tag + ".pem"), Path(tag + ".key"), cert, key);
        X509_free(cert);
        EVP_PKEY_free(key);
        if (!saved) return nullptr;
        auto s = std::make_unique<TChild>();
        const QString listen =
            QString("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,verify=0,cert=%2,key=%3")
                .arg(port)
                .arg(Path(tag + ".pem"), Path(tag + ".key"));
        if (!s->StartOn("socat", {listen, behind}, port)) return nullptr;
        return s;
    }

    std::unique_ptr<TTlsTransport> Connect(Listener &l, uint16_t port, const char *host = "127.0.0.1")
    {
        auto t = std::make_unique<TTlsTransport>(Path("known_certs").toStdString());
        TEndpoint e = At(port);
        e.Host = host;
        t->Open(e, l);
        EXPECT_TRUE(l.WaitEnd());
        return t;
    }
};

} // namespace

TEST_F(Tls, FirstUseAsksTheSecondDoesNotAChangedCertificateIsRefused)
{
    const uint16_t port = UnusedPort();
    {
        auto server = Terminator("bbs.test", -1, 24, port);
        ASSERT_TRUE(server);
        Listener l;
        auto t = Connect(l, port);
        ASSERT_TRUE(l.Connected) << l.Message;
        EXPECT_EQ(l.TrustAsked, 1);
        EXPECT_EQ(l.Question.Host, "127.0.0.1:" + std::to_string(port));
        EXPECT_EQ(l.Question.Fingerprint.rfind("SHA256:", 0), 0u);
        EXPECT_EQ(t->Security(), "TLS 1.3");
        const uint8_t hello[] = {0xFF, 0xA0};
        t->Send(hello, sizeof hello);
        EXPECT_TRUE(l.WaitBytes("Demo BBS"));
        t->Close();
        EXPECT_EQ(ReadAll(Path("known_certs")),
                  "127.0.0.1:" + std::to_string(port) + " " + l.Question.Fingerprint + "\n");
        EXPECT_EQ(QFileInfo(Path("known_certs")).permissions() & 0x0077, 0);

        Listener again;
        auto t2 = Connect(again, port);
        EXPECT_TRUE(again.Connected) << again.Message;
        EXPECT_EQ(again.TrustAsked, 0);
    }
    auto changed = Terminator("bbs.test", -2, 24, port); // a new key on the same port
    ASSERT_TRUE(changed);
    Listener l;
    auto t = Connect(l, port);
    EXPECT_TRUE(l.Failed);
    EXPECT_EQ(l.TrustAsked, 0);
    EXPECT_NE(l.Message.find("is not the one you accepted"), std::string::npos) << l.Message;
    EXPECT_NE(l.Message.find(Path("known_certs").toStdString()), std::string::npos) << l.Message;
}

TEST_F(Tls, AnUploadSentJustBeforeTheCloseArrivesWhole)
{
    const uint16_t port = UnusedPort();
    auto server = Terminator("bbs.test", -1, 24, port, false, "SYSTEM:sleep 1; cat > " + Path("received"));
    ASSERT_TRUE(server);
    Listener l;
    auto t = Connect(l, port);
    ASSERT_TRUE(l.Connected) << l.Message;
    const std::string upload(32 << 20, 'u');
    t->Send(reinterpret_cast<const uint8_t *>(upload.data()), upload.size());
    t->Close();
    t.reset(); // the session lets go at once; the BBS reads only a second later
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(Path("received")).size() == qint64(upload.size()); },
                                Patience))
        << QFileInfo(Path("received")).size();
}

// Certificates taken or refused without a new entry in the trust file.
TEST_F(Tls, CertificatesTakenOrRefusedWithoutBeingKept)
{
    const struct
    {
        const char *Name;
        long From, To;
        bool Accept;
        const char *Says; // empty: taken without asking, as an authority vouches for it
        bool Vouched = false;
        const char *Host = "127.0.0.1"; // short forms of an address are names the certificate must carry
    } cases[] = {
        {"127.0.0.1", -1, 24, false, "", true},
        {"expired", -48, -24, true, "has expired"},
        {"not yet valid", 24, 48, true, "is not valid yet"},
        {"not accepted", -1, 24, false, "was not accepted"},
        {"evil.example", -1, 24, true, "is for evil.example, not for 127.1", true, "127.1"},
        {"evil.example", -1, 24, true, "is for evil.example, not for 2130706433", true, "2130706433"},
        {"evil.example", -1, 24, false, "is for evil.example, not for 127.1", false,
         "127.1"}, // asked, warned
    };
    for (const auto &k : cases) {
        const uint16_t port = UnusedPort();
        auto server = Terminator(k.Name, k.From, k.To, port, k.Vouched);
        ASSERT_TRUE(server) << k.Name;
        Listener l;
        l.Accept = k.Accept;
        auto t = Connect(l, port, k.Host);
        EXPECT_EQ(l.Connected, !*k.Says) << k.Name << ": " << l.Message;
        if (*k.Says) {
            EXPECT_NE((l.Message + l.Question.Warning).find(k.Says), std::string::npos) << k.Name;
        }
        if (k.Vouched) {
            EXPECT_EQ(l.TrustAsked, 0) << k.Name;
        }
        EXPECT_EQ(ReadAll(Path("known_certs")), "") << k.Name;
    }
}

// A line without its fingerprint is skipped and told of; an authority's certificate that
// replaced an accepted one is taken, told of once, and kept instead.
TEST_F(Tls, ABadTrustLineIsSkippedAndAnAuthoritysNewCertificateToldOnce)
{
    const uint16_t port = UnusedPort();
    const std::string file = Path("known_certs").toStdString();
    WriteAll(Path("known_certs"), "127.0.0.1:" + std::to_string(port) + " \n");
    auto server = Terminator("bbs.test", -1, 24, port);
    std::string notices;
    for (int i = 0; i < 3; ++i) {
        if (i == 1) server.reset(), server = Terminator("127.0.0.1", -1, 24, port, true);
        Listener l;
        auto t = Connect(l, port);
        EXPECT_TRUE(l.Connected && l.TrustAsked == (i == 0)) << i << l.Message;
        notices += l.Notice + "|";
    }
    const std::string skipped = "Skipped line 1 of " + file + ": no key.";
    EXPECT_EQ(notices,
              skipped + "|" + skipped +
                  " The certificate you accepted before was replaced by one that CN = Test Authority "
                  "vouches for; " +
                  file + " updated.||");
    const std::string kept = ReadAll(Path("known_certs"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 1) << kept;
}

// Input held while a server floods: nothing more is handed over, and after it nothing is lost.
TEST_F(Tls, AHeldFloodWaitsAndLosesNothing)
{
    const uint16_t port = UnusedPort();
    auto server = Terminator("bbs.test", -1, 24, port, false, "SYSTEM:yes abcdefghijklmnopqrstuvwxyz");
    ASSERT_TRUE(server);
    Listener l;
    auto t = Connect(l, port);
    size_t heldAt = 0;
    l.OnReceived = [&] {
        if (!heldAt && l.Bytes.size() >= (1 << 20)) t->SetReceiving(!(heldAt = l.Bytes.size()));
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return heldAt > 0; }, Patience));
    QCoreApplication::processEvents(); // what was read before the hold would come now
    EXPECT_EQ(l.Bytes.size(), heldAt);
    t->SetReceiving(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return l.Bytes.size() > 2 * heldAt; }, Patience));
    EXPECT_EQ(std::count(l.Bytes.begin(), l.Bytes.end(), '\n') * 27, l.Bytes.rfind('\n') + 1); // whole lines
}

TEST(TrustFile, TwoCopiesAcceptingAtOnceKeepEveryLine)
{
    QTemporaryDir dir;
    const TTrustFile file(dir.filePath("known_certs").toStdString(), 1);
    auto accept = [&](char who) {
        std::string error;
        for (int i = 0; i < 40; ++i)
            file.Append(who + std::to_string(i) + ":992 SHA256:x", error);
    };
    std::jthread(accept, 'a'), std::jthread(accept, 'b'); // both run, then both are joined
    const std::string text = ReadAll(dir.filePath("known_certs"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 80);
}

// Garbage instead of a greeting, or a close before or during the handshake.
TEST(BadServers, EndInAMessage)
{
    const struct
    {
        THostTransport Kind;
        const char *Reply, *Says;
    } cases[] = {
        {THostTransport::Tls, "SSH-2.0-OpenSSH_9.2\r\n", "did not answer as a TLS server"},
        {THostTransport::Tls, "", "closed the connection during the TLS handshake"},
        {THostTransport::Ssh, "HTTP/1.0 400 Bad Request\r\n\r\n", "did not answer as an SSH server"},
        {THostTransport::Ssh, "SSH-2.0-Fake\r\n", "closed the connection during the SSH handshake"},
        {THostTransport::Ssh, "", "did not answer as an SSH server"},
    };
    for (const auto &k : cases) {
        BogusServer server(k.Reply);
        QTemporaryDir dir;
        auto t = MakeSecureTransport(k.Kind, dir.path().toStdString());
        Listener l;
        t->Open(At(server.Port, "someone"), l);
        ASSERT_TRUE(l.WaitEnd()) << k.Reply;
        EXPECT_TRUE(l.Failed) << k.Reply;
        EXPECT_NE(l.Message.find(k.Says), std::string::npos) << k.Reply << ": " << l.Message;
    }
}
