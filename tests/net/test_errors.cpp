// Error texts, messages, WinSock numbering of POSIX errors and the component's settings.
#include "NetTestUtil.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

TEST(SockErrorText, KnownUnknownAndZero)
{
    EXPECT_EQ(SockErrorText(0), "");
    EXPECT_EQ(SockErrorText(10061), "Connection refused");
    EXPECT_EQ(SockErrorText(10010), "Unknown Error 10010");
}

TEST(RaiseSockError, MessagesCombineCodeAndContext)
{
    EXPECT_EQ(SockErrorMessage(10061, sckConnecting), "Error 10061 (Connection refused) connecting");
    EXPECT_EQ(SockErrorMessage(0, sckNotOpen), "Socket not open");
    EXPECT_EQ(SockErrorMessage(10093, 0), "Successful WSASTARTUP not yet performed");
    EXPECT_EQ(SockErrorMessage(11001, sckFindingAddress),
              "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(SockErrorMessage(10035, sckBytesPending),
              "Error 10035 (Operation would block) getting # of bytes in Receive Buffer");
    EXPECT_EQ(Message([] { RaiseSockError(0, 0); }), "");
}

TEST(WinSockNumbering, ErrnoAndResolverErrorsKeepTheirMeaning)
{
    EXPECT_EQ(WinSockErrorFromErrno(0), 0);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinSockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinSockErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(WinSockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(WinSockErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(WinSockErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WinSockErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(WinSockErrorFromErrno(EISCONN), 10056);
    EXPECT_EQ(WinSockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinSockErrorFromErrno(EPIPE), 10058);
    EXPECT_EQ(WinSockErrorFromErrno(EMFILE), 10024);
    // Linux numbers differ from BSD's: an untranslated errno must not borrow another text.
    for (int e : {EDEADLK, ENOSYS, ENOLCK, ENOMSG, EIO}) {
        int code = WinSockErrorFromErrno(e);
        EXPECT_EQ(SockErrorText(code), "Unknown Error " + std::to_string(code)) << e;
    }
    EXPECT_EQ(WinSockErrorFromGai(EAI_NONAME), 11001);
    EXPECT_EQ(WinSockErrorFromGai(EAI_AGAIN), 11002);
    EXPECT_EQ(WinSockErrorFromGai(EAI_FAIL), 11003);
    EXPECT_EQ(WinSockErrorFromGai(EAI_NODATA), 11004);
    EXPECT_EQ(WinSockErrorFromGai(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(IsDottedAddress, AllOnesIsNotAnAddress)
{
    EXPECT_TRUE(IsDottedAddress("10.0.0.1"));
    EXPECT_TRUE(IsDottedAddress("127.0.0.1"));
    EXPECT_FALSE(IsDottedAddress("255.255.255.255"));
    EXPECT_FALSE(IsDottedAddress("bbs.example.invalid"));
    EXPECT_FALSE(IsDottedAddress(""));
}

TEST(ClientSocketSettings, AddressPortProtocolTimeOut)
{
    TBasicClientSocket c;
    EXPECT_EQ(c.HostName(), "");
    EXPECT_EQ(c.IPAddress(), "0.0.0.0");
    EXPECT_EQ(c.Protocol(), "tcp");
    EXPECT_EQ(c.ProtocolNumber(), 6);
    EXPECT_TRUE(c.Options() == (TAsyncOptions{csoRead, csoWrite}));

    c.SetAddress("10.0.0.1");
    EXPECT_EQ(c.IPAddress(), "10.0.0.1");
    EXPECT_EQ(c.HostName(), "");
    c.SetAddress("255.255.255.255");
    EXPECT_EQ(c.HostName(), "255.255.255.255");
    EXPECT_EQ(c.IPAddress(), "");
    c.SetAddress(std::string(300, 'a'));
    EXPECT_EQ(c.Address().size(), 255u);

    c.SetPort("70000");
    EXPECT_EQ(c.PortNumber(), 4464);
    c.SetPort("-1");
    EXPECT_EQ(c.ServiceName(), "-1");
    EXPECT_EQ(c.PortNumber(), 0);
    c.SetPort("23");
    EXPECT_EQ(c.PortNumber(), 23);
    servent *se = getservbyport(htons(23), "tcp");
    EXPECT_EQ(c.ServiceName(), se ? se->s_name : "");
    if (se) {
        c.SetPort(se->s_name);
        EXPECT_EQ(c.PortNumber(), 23);
    }
    c.SetPort("no-such-service-here");
    EXPECT_EQ(c.PortNumber(), 0);

    c.SetProtocol("udp");
    EXPECT_EQ(c.ProtocolNumber(), 17);
    EXPECT_EQ(c.ProtocolName(), "udp");
    c.SetProtocol("17");
    EXPECT_EQ(c.ProtocolName(), "UDP");
    c.SetProtocol("99");
    EXPECT_EQ(c.ProtocolName(), "");
    c.SetProtocol("bogus");
    EXPECT_EQ(c.ProtocolNumber(), -1);

    c.SetTimeOut(-5);
    EXPECT_EQ(c.TimeOut(), 0);
}

TEST(StreamSocketObject, NamesTypesAndCheckSockResult)
{
    TBasicClientSocket c1, c2;
    std::string a = c1.Socket()->GetName(), b = c2.Socket()->GetName();
    ASSERT_EQ(a.rfind("socket", 0), 0u);
    EXPECT_EQ(std::stoi(b.substr(6)), std::stoi(a.substr(6)) + 1);
    EXPECT_EQ(c1.Socket()->GetName(), a); // given once

    EXPECT_EQ(Message([&] { c1.Socket()->SetSocketType(2); }), "Invalid type for a Stream socket");

    // A failing call with the allowed error returns 0 and keeps it; success clears it.
    TSocketBase *s = c1.Socket();
    char byte = 0;
    errno = 0;
    EXPECT_EQ(WinsockAPI().recv(-1, &byte, 1), -1);
    EXPECT_EQ(s->CheckSockResult(-1, WSAEBADF, sckReceiving), 0);
    EXPECT_EQ(s->LastError(), WSAEBADF);
    EXPECT_EQ(s->CheckSockResult(5, WSAEBADF, sckReceiving), 5);
    EXPECT_EQ(s->LastError(), 0);
    WinsockAPI().recv(-1, &byte, 1);
    EXPECT_EQ(Message([&] { s->CheckSockResult(-1, WSAEWOULDBLOCK, sckReceiving); }),
              "Error 10009 (Bad file number) recieving");
}
