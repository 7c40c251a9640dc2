// Error texts and messages, and the component's address, port and protocol settings.
#include "NetTestUtil.h"

#include <netdb.h>

TEST(SockErrors, TextsMessagesWhatIsRaisedAndTheSettings)
{
    EXPECT_EQ(SockErrorText(0), "");
    EXPECT_EQ(SockErrorText(10010), "Unknown Error 10010");
    EXPECT_EQ(SockErrorMessage(0, sckNotOpen), "Socket not open");
    EXPECT_EQ(SockErrorMessage(10093, 0), "Successful WSASTARTUP not yet performed");
    EXPECT_EQ(SockErrorMessage(10035, sckBytesPending),
              "Error 10035 (Operation would block) getting # of bytes in Receive Buffer");
    EXPECT_EQ(Message([] { RaiseSockError(0, 0); }), "");
    // Linux numbers differ from BSD's: an untranslated errno must not borrow another text.
    for (int e : {EDEADLK, ENOSYS, ENOLCK, ENOMSG, EIO}) {
        int code = WinSockErrorFromErrno(e);
        EXPECT_EQ(SockErrorText(code), "Unknown Error " + std::to_string(code)) << e;
    }
    EXPECT_EQ(WinSockErrorFromGai(EAI_SYSTEM, ECONNREFUSED), 10061);

    // CheckSockResult keeps the allowed error and raises others.
    TBasicClientSocket c;
    TSocketBase *s = c.Socket();
    char byte = 0;
    EXPECT_EQ(WinsockAPI().recv(-1, &byte, 1), -1);
    EXPECT_EQ(s->CheckSockResult(-1, WSAEBADF, sckReceiving), 0);
    EXPECT_EQ(s->LastError(), WSAEBADF);
    EXPECT_EQ(s->CheckSockResult(5, WSAEBADF, sckReceiving), 5);
    EXPECT_EQ(s->LastError(), 0);
    WinsockAPI().recv(-1, &byte, 1);
    EXPECT_EQ(Message([&] { s->CheckSockResult(-1, WSAEWOULDBLOCK, sckReceiving); }),
              "Error 10009 (Bad file number) recieving");
    EXPECT_EQ(Message([&] { s->SetSocketType(2); }), "Invalid type for a Stream socket");

    // The address, port, protocol and time-out settings.
    c.SetAddress("10.0.0.1");
    EXPECT_EQ(c.IPAddress(), "10.0.0.1");
    EXPECT_EQ(c.HostName(), "");
    c.SetAddress("255.255.255.255"); // all ones is no address: a name to look up
    EXPECT_EQ(c.HostName(), "255.255.255.255");
    EXPECT_EQ(c.IPAddress(), "");
    for (const char *v6 : {"[2001:db8::1]", "2001:db8::1"}) {
        c.SetAddress(v6);
        EXPECT_EQ(c.IPAddress(), "2001:db8::1") << v6;
        EXPECT_EQ(c.HostName(), "") << v6;
    }
    c.SetAddress(std::string(300, 'a'));
    EXPECT_EQ(c.Address().size(), 255u);

    const std::pair<const char *, int> ports[] = {
        {"70000", 4464}, {"-1", 0}, {"23", 23}, {"no-such-service", 0}};
    for (auto [text, number] : ports) {
        c.SetPort(text);
        EXPECT_EQ(c.PortNumber(), number) << text;
    }
    servent *se = getservbyport(htons(23), "tcp");
    if (se) {
        c.SetPort(se->s_name);
        EXPECT_EQ(c.PortNumber(), 23);
    }
    c.SetProtocol("17");
    EXPECT_EQ(c.ProtocolName(), "UDP");
    c.SetProtocol("bogus");
    EXPECT_EQ(c.ProtocolNumber(), -1);
    c.SetTimeOut(-5);
    EXPECT_EQ(c.TimeOut(), 0);
}
