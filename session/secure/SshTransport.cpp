#include "session/secure/SshTransport.h"

#include <libssh/libssh.h>

#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace {

enum class TSshStep : uint8_t {
    Handshake,
    Judging, // waiting for the user to accept the host key
    AuthNone,
    AuthKey,
    AskingPassword,
    AuthPassword,
    Channel,
    Pty,
    Shell,
    Open,
    Done
};

bool Contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

struct TSshState
{
    ssh_session Session = nullptr;
    ssh_channel Channel = nullptr;
    TSshStep Step = TSshStep::Handshake;
    int Methods = 0;
    std::string Password;
    std::string KeyName; // "ed25519"
    TOutQueue Out;
    uint8_t Cols = 80, Rows = 24;

    ~TSshState()
    {
        if (Channel) ssh_channel_free(Channel);
        if (Session) ssh_free(Session); // closes libssh's copy of the descriptor
    }
};

TSshTransport::TSshTransport(std::string knownHostsFile) : FKnown(std::move(knownHostsFile), 2)
{
}

TSshTransport::~TSshTransport()
{
    Abort();
}

void TSshTransport::Release()
{
    FSsh.reset();
}

std::string TSshTransport::Security() const
{
    return FSsh && !FSsh->KeyName.empty() ? "SSH, " + FSsh->KeyName : std::string();
}

void TSshTransport::Secure()
{
    FSsh = std::make_unique<TSshState>();
    FSsh->Cols = Endpoint().Cols;
    FSsh->Rows = Endpoint().Rows;
    FSsh->Session = ssh_new();
    ssh_session s = FSsh->Session;
    // libssh closes what it is given; it gets a copy, the descriptor stays ours.
    socket_t fd = ::dup(Fd());
    const unsigned port = Endpoint().Port;
    const int off = 0;
    ssh_options_set(s, SSH_OPTIONS_FD, &fd);
    ssh_options_set(s, SSH_OPTIONS_HOST, Endpoint().Host.c_str());
    ssh_options_set(s, SSH_OPTIONS_PORT, &port);
    ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &off);
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, FKnown.Path().c_str());
    if (!Endpoint().User.empty()) ssh_options_set(s, SSH_OPTIONS_USER, Endpoint().User.c_str());
    if (const char *home = std::getenv("HOME"); home && *home) // the user's default keys
        ssh_options_set(s, SSH_OPTIONS_SSH_DIR, (std::string(home) + "/.ssh").c_str());
    ssh_set_blocking(s, 0);
    Pump();
}

void TSshTransport::Watch()
{
    if (FSsh && FSsh->Session) WantWrite(ssh_get_poll_flags(FSsh->Session) & SSH_WRITE_PENDING);
}

void TSshTransport::Pump()
{
    while (FSsh && Advance()) {
    }
    Watch();
}

std::string TSshTransport::HandshakeFailure() const
{
    const std::string where = HostPort(Endpoint().Host, Endpoint().Port);
    const std::string why = ssh_get_error(FSsh->Session);
    if (Contains(why, "disconnected") || Contains(why, "closed") || Contains(why, "reset") ||
        Contains(why, "Broken pipe") || Contains(why, "EOF"))
        return ssh_get_serverbanner(FSsh->Session)
                   ? where + " closed the connection during the SSH handshake."
                   : where + " did not answer as an SSH server (it closed the connection without an SSH "
                             "greeting).";
    if (Contains(why, "banner") || Contains(why, "Protocol mismatch") || Contains(why, "version"))
        return where + " did not answer as an SSH server (" + why + ").";
    if (Contains(why, "algorithm") || Contains(why, "kex") || Contains(why, "no match"))
        return "SSH with " + where + " failed: no algorithm that both sides accept (" + why + ").";
    return "SSH with " + where + " failed: " + why;
}

// What the BBS said, if anything: its banner, or the reason it gave as it disconnected.
std::string TSshTransport::ServerWords() const
{
    std::string said;
    if (char *banner = ssh_get_issue_banner(FSsh->Session)) {
        said = banner;
        ssh_string_free_char(banner);
    }
    const std::string why = ssh_get_error(FSsh->Session);
    const std::string mark = "SSH_MSG_DISCONNECT: ";
    if (const std::size_t at = why.find(mark); at != std::string::npos) {
        const std::size_t colon = why.find(':', at + mark.size());
        const std::string reason = colon == std::string::npos ? "" : why.substr(colon + 1);
        if (reason != "no error" && reason.find_first_not_of(' ') != std::string::npos)
            said += (said.empty() ? "" : "\n") + reason;
    }
    // One line of plain text, within reason.
    for (char &c : said)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
    const std::size_t first = said.find_first_not_of(' '), last = said.find_last_not_of(' ');
    return first == std::string::npos ? "" : said.substr(first, std::min<std::size_t>(last + 1 - first, 300));
}

std::string TSshTransport::AuthFailure() const
{
    const std::string said = ServerWords();
    if (!said.empty()) return AuthenticationFailed(Endpoint().User) + " The BBS said: " + said;
    // A refusal that offers no way to go on ends the login, whatever the password: some
    // BBSs answer so when the user is logged in on another node.
    if (FSsh->Step == TSshStep::AuthPassword && ssh_userauth_list(FSsh->Session, nullptr) == 0)
        return AuthenticationFailed(Endpoint().User) +
               " The BBS allows no other attempt (is this user logged in already?).";
    return AuthenticationFailed(Endpoint().User);
}

bool TSshTransport::Advance()
{
    ssh_session s = FSsh->Session;
    switch (FSsh->Step) {
    case TSshStep::Handshake: {
        const int r = ssh_connect(s);
        if (r == SSH_AGAIN) return false;
        if (r != SSH_OK) {
            Fail(HandshakeFailure());
            return false;
        }
        return CheckHostKey();
    }
    case TSshStep::Judging:
    case TSshStep::AskingPassword:
        return false;
    case TSshStep::AuthNone: {
        const int r = ssh_userauth_none(s, nullptr);
        if (r == SSH_AUTH_AGAIN) return false;
        if (r == SSH_AUTH_SUCCESS) {
            FSsh->Step = TSshStep::Channel;
            return true;
        }
        if (r == SSH_AUTH_ERROR) {
            Fail(ServerWords().empty() ? HandshakeFailure() : AuthFailure());
            return false;
        }
        AfterNone();
        return FSsh != nullptr;
    }
    case TSshStep::AuthKey: {
        const int r = ssh_userauth_publickey_auto(s, nullptr, nullptr);
        if (r == SSH_AUTH_AGAIN) return false;
        if (r == SSH_AUTH_SUCCESS) {
            FSsh->Step = TSshStep::Channel;
            return true;
        }
        TryPassword();
        return FSsh && FSsh->Step == TSshStep::AuthPassword;
    }
    case TSshStep::AuthPassword: {
        const int r = ssh_userauth_password(s, nullptr, FSsh->Password.c_str());
        if (r == SSH_AUTH_AGAIN) return false;
        if (r != SSH_AUTH_SUCCESS) {
            Fail(AuthFailure());
            return false;
        }
        FSsh->Step = TSshStep::Channel;
        return true;
    }
    case TSshStep::Channel: {
        if (!FSsh->Channel) FSsh->Channel = ssh_channel_new(s);
        const int r = FSsh->Channel ? ssh_channel_open_session(FSsh->Channel) : SSH_ERROR;
        if (r == SSH_AGAIN) return false;
        if (r != SSH_OK) {
            Fail("SSH with " + HostPort(Endpoint().Host, Endpoint().Port) +
                 " failed: no session channel: " + ssh_get_error(s));
            return false;
        }
        FSsh->Step = TSshStep::Pty;
        return true;
    }
    case TSshStep::Pty: {
        const int r = ssh_channel_request_pty_size(FSsh->Channel, Endpoint().TerminalType.c_str(), FSsh->Cols,
                                                   FSsh->Rows);
        if (r == SSH_AGAIN) return false;
        if (r != SSH_OK) {
            Fail("SSH with " + HostPort(Endpoint().Host, Endpoint().Port) +
                 " failed: no terminal: " + ssh_get_error(s));
            return false;
        }
        FSsh->Step = TSshStep::Shell;
        return true;
    }
    case TSshStep::Shell: {
        const int r = ssh_channel_request_shell(FSsh->Channel);
        if (r == SSH_AGAIN) return false;
        if (r != SSH_OK) {
            Fail("SSH with " + HostPort(Endpoint().Host, Endpoint().Port) +
                 " failed: no shell: " + ssh_get_error(s));
            return false;
        }
        FSsh->Step = TSshStep::Open;
        Connected();
        Flush();
        return FSsh != nullptr;
    }
    case TSshStep::Open:
        ReadAll();
        if (FSsh) Flush();
        // Flushing may have read the socket too: what it put aside is read now.
        return FSsh && FSsh->Step == TSshStep::Open && Receiving() && Buffered();
    case TSshStep::Done:
        return false;
    }
    return false;
}

bool TSshTransport::CheckHostKey()
{
    ssh_session s = FSsh->Session;
    const std::string where = HostPort(Endpoint().Host, Endpoint().Port);
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(s, &key) != SSH_OK) {
        Fail(HandshakeFailure());
        return false;
    }
    std::string type = ssh_key_type_to_char(ssh_key_type(key));
    if (type.rfind("ssh-", 0) == 0) type = type.substr(4);
    if (type.rfind("ecdsa", 0) == 0) type = "ecdsa";
    FSsh->KeyName = type;
    unsigned char *hash = nullptr;
    size_t hashLength = 0;
    std::string fingerprint;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength) == 0) {
        char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength);
        if (text) fingerprint = text;
        ssh_string_free_char(text);
        ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);

    char *entry = nullptr;
    std::string line;
    if (ssh_session_export_known_hosts_entry(s, &entry) == SSH_OK && entry) {
        line = entry;
        ssh_string_free_char(entry);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    // The file is read here, not by libssh, which gives up on the first malformed line.
    std::istringstream fields(line);
    std::string name, kind, blob;
    fields >> name >> kind >> blob;
    if (blob.empty()) {
        Fail("SSH with " + where + " failed: its host key cannot be written down.");
        return false;
    }
    const TTrustEntries known = FKnown.Lookup(name);
    Notice(FKnown.MalformedNotice(known));
    for (const std::vector<std::string> &k : known.Entries)
        if (k[0] == kind && k[1] == blob) {
            FSsh->Step = TSshStep::AuthNone;
            Step(TTransportStep::Authenticating);
            return true;
        }
    if (!known.Entries.empty()) {
        Fail(ChangedKeyMessage("host key", where, name, FKnown.Path()));
        return false;
    }
    FSsh->Step = TSshStep::Judging;
    std::string upper = type;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    AskTrust(TTrustQuestion{where, upper, fingerprint, "", ""}, [this, line](bool accept) {
        if (!FSsh) return;
        if (!accept) {
            Fail("The host key of " + HostPort(Endpoint().Host, Endpoint().Port) + " was not accepted.");
            return;
        }
        std::string error;
        if (!FKnown.Append(line, error)) {
            Fail(error);
            return;
        }
        FSsh->Step = TSshStep::AuthNone;
        Step(TTransportStep::Authenticating);
        Pump();
    });
    return false;
}

void TSshTransport::AfterNone()
{
    FSsh->Methods = ssh_userauth_list(FSsh->Session, nullptr);
    if (FSsh->Methods & SSH_AUTH_METHOD_PUBLICKEY)
        FSsh->Step = TSshStep::AuthKey;
    else
        TryPassword();
}

void TSshTransport::TryPassword()
{
    if (!(FSsh->Methods & SSH_AUTH_METHOD_PASSWORD)) {
        Fail(AuthFailure());
        return;
    }
    if (Endpoint().Password) {
        FSsh->Password = *Endpoint().Password;
        FSsh->Step = TSshStep::AuthPassword;
        return;
    }
    FSsh->Step = TSshStep::AskingPassword;
    AskPassword([this](std::optional<std::string> password) {
        if (!FSsh) return;
        if (!password) {
            Fail(AuthFailure());
            return;
        }
        FSsh->Password = *password;
        FSsh->Step = TSshStep::AuthPassword;
        Pump();
    });
}

void TSshTransport::ReadAll()
{
    // Not reading while held fills the channel's window, and the server waits.
    // Any libssh call may read the socket and put aside data for either stream, which no
    // readiness announces: read until a pass over both finds nothing.
    char buf[16384];
    for (bool more = true; more && FSsh && Receiving();) {
        more = false;
        for (int stream = 1; stream >= 0 && FSsh; --stream) {
            while (FSsh && Receiving()) {
                const int n = ssh_channel_read_nonblocking(FSsh->Channel, buf, sizeof buf, stream);
                if (n > 0) {
                    Received(reinterpret_cast<const uint8_t *>(buf), static_cast<size_t>(n));
                    more = true;
                    continue;
                }
                if (n == SSH_ERROR) {
                    Broken();
                    return;
                }
                break;
            }
        }
    }
    // The end only once all that came before it was read.
    if (FSsh && Receiving() && (ssh_channel_is_eof(FSsh->Channel) || ssh_channel_is_closed(FSsh->Channel))) {
        FSsh->Step = TSshStep::Done;
        Ended(TCloseKind::Clean, "");
    }
}

// A BBS that logs the user off disconnects "by application": that is its end, not a loss.
void TSshTransport::Broken()
{
    FSsh->Step = TSshStep::Done;
    const std::string why = ssh_get_error(FSsh->Session);
    if (Contains(why, "SSH_MSG_DISCONNECT: 11:"))
        Ended(TCloseKind::Clean, "");
    else
        Ended(TCloseKind::Lost, why);
}

// Data (or the end) libssh holds for the channel, whether or not the socket has more. The
// output's poll comes last: what it reads from the socket for the output it reports.
bool TSshTransport::Buffered() const
{
    return ssh_channel_poll(FSsh->Channel, 1) > 0 || ssh_channel_poll(FSsh->Channel, 0) != 0;
}

void TSshTransport::Flush()
{
    while (FSsh && FSsh->Step == TSshStep::Open && !FSsh->Out.Empty()) {
        const int n =
            ssh_channel_write(FSsh->Channel, FSsh->Out.Data(), static_cast<uint32_t>(FSsh->Out.Size()));
        if (n == SSH_ERROR) {
            Broken();
            return;
        }
        if (n <= 0) break; // the window is full: more when the peer opens it
        FSsh->Out.Consume(static_cast<std::size_t>(n));
    }
    if (FSsh) ssh_blocking_flush(FSsh->Session, 0);
}

void TSshTransport::Send(const uint8_t *data, size_t count)
{
    if (!FSsh || FSsh->Step != TSshStep::Open || count == 0) return;
    FSsh->Out.Append(data, count);
    Flush();
    Watch();
    if (FSsh && FSsh->Step == TSshStep::Open && Receiving() && Buffered()) PumpLater();
}

void TSshTransport::SetWindowSize(uint8_t cols, uint8_t rows)
{
    if (!FSsh) return;
    FSsh->Cols = cols;
    FSsh->Rows = rows;
    if (FSsh->Step == TSshStep::Open) {
        ssh_channel_change_pty_size(FSsh->Channel, cols, rows);
        Watch();
        if (Receiving() && Buffered()) PumpLater();
    }
}

TStreamTransport::TLeftover TSshTransport::Goodbye()
{
    if (!FSsh || FSsh->Step != TSshStep::Open) return nullptr;
    // What is queued goes out after the transport is gone, then the channel's end.
    std::shared_ptr<TSshState> st(std::move(FSsh));
    return [st]() -> TFlush {
        while (!st->Out.Empty()) {
            const int n =
                ssh_channel_write(st->Channel, st->Out.Data(), static_cast<uint32_t>(st->Out.Size()));
            if (n == SSH_ERROR) return TFlush::Done; // the peer is gone
            if (n <= 0) break;                       // the window is full: wait for the peer
            st->Out.Consume(static_cast<std::size_t>(n));
        }
        ssh_blocking_flush(st->Session, 0);
        if (ssh_get_poll_flags(st->Session) & SSH_WRITE_PENDING) return TFlush::WantWrite;
        if (!st->Out.Empty()) return TFlush::WantRead;
        ssh_channel_send_eof(st->Channel);
        ssh_channel_close(st->Channel);
        ssh_blocking_flush(st->Session, 0);
        return TFlush::Done;
    };
}
