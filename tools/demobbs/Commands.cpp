// The session's state machine: login, the menu and its commands.
#include "tools/demobbs/Session.h"

#include "tools/demobbs/Art.h"

namespace demobbs {

namespace {

constexpr uint8_t CL_POST = 0xA9;
constexpr uint8_t CL_POST_END = 0xAA;
constexpr uint8_t CL_INTERRUPT = 0xAB;
constexpr uint8_t CL_OPTIONS = 0xAE;
constexpr uint8_t CL_EXPRESS = 0xA7;
constexpr uint8_t CL_EXPRESS_END = 0xA8;
constexpr uint8_t CL_WHO = 0xB7;
constexpr uint8_t CL_WHO_END = 0xB8;

std::string Trimmed(std::string_view s)
{
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    const size_t b = s.find_last_not_of(' ');
    return std::string(s.substr(a, b - a + 1));
}

// Capitals at the start of each word, as the CLient name editor makes them.
std::string Capitalised(std::string name)
{
    for (size_t i = 0; i < name.size(); ++i)
        if ((i == 0 || name[i - 1] == ' ') && name[i] >= 'a' && name[i] <= 'z') name[i] = char(name[i] - 32);
    return name;
}

// Names start with a letter and hold letters, digits, blanks and - . _ only.
bool ValidName(const std::string &name)
{
    if (name.empty() || name.size() > 20) return false;
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(name[0])) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9') && c != ' ' && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

// Control characters would not survive the data file.
bool PrintablePassword(const std::string &password)
{
    for (char c : password)
        if (uint8_t(c) < 32 || uint8_t(c) == 127) return false;
    return true;
}

} // namespace

void TSession::StartNegotiation()
{
    using namespace tn;
    FState = ssNegotiating;
    SendRaw({IAC, WILL, ECHO, IAC, WILL, SGA, IAC, DO, NAWS, IAC, DO, TTYPE});
    FAwaited = waEcho | waSga | waNaws | waTtype;
    FDeadline = FNow + NegotiationWait;
}

// As real BBSs detect the terminal: an ANSI terminal answers the cursor position report.
void TSession::StartDetection()
{
    FState = ssDetecting;
    FDetected = true;
    FReport.clear();
    SendRaw({0x1b, '[', '6', 'n'});
    FDeadline = FNow + DetectWait;
}

// ESC [ row ; column R, anything typed meanwhile is dropped.
void TSession::OnDetectByte(uint8_t c)
{
    if (c == 0x1b) FReport.clear();
    FReport.push_back(char(c));
    if (FReport.size() > 16) FReport.clear();
    if (c != 'R') return;
    const size_t semi = FReport.find(';');
    const auto digits = [this](size_t from, size_t to) {
        return to > from && FReport.find_first_not_of("0123456789", from) == to;
    };
    if (FReport.compare(0, 2, "\x1b[") != 0 || semi == std::string::npos || !digits(2, semi) ||
        !digits(semi + 1, FReport.size() - 1))
        return;
    FAnsi = true;
    StartLogin();
}

void TSession::StartLogin()
{
    FDeadline = -1;
    FAwaited = 0;
    if (FProto == prTelnet && !FDetected) return StartDetection();
    // ANSI art needs the full 80 columns; a narrower terminal gets the box in its width
    Say(FAnsi && FCols >= 80 ? AnsiWelcome() : WelcomeScreen(FCols));
    if (FProto != prTelnet) {
        SendRaw({tn::IAC, 0xAC}); // count reset: both sides count from 1
        FCount = 1;
    }
    FState = ssLoginName;
    AskName("^f^gName: ^a"_c);
}

void TSession::OnAnswer(const TAnswer &answer)
{
    switch (FState) {
    case ssLoginName:
        AnswerLoginName(Capitalised(Trimmed(answer.Text)));
        break;
    case ssPassword:
        AnswerPassword(answer.Text);
        break;
    case ssExpressTo:
        AnswerExpressTo(Trimmed(answer.Text));
        break;
    case ssExpressText:
        AnswerExpressText(answer);
        break;
    case ssPostText:
        AnswerPost(answer);
        break;
    case ssProfileText:
        AnswerProfile(answer);
        break;
    case ssFileName:
        AnswerFileName(Trimmed(answer.Text));
        break;
    default: // an upload nobody asked for
        break;
    }
}

void TSession::OnKey(uint8_t c)
{
    switch (FState) {
    case ssMenu:
        MenuKey(c);
        break;
    case ssMore:
        MoreKey(c);
        break;
    case ssPostConfirm:
        PostConfirmKey(c);
        break;
    default: // keys while nothing asks for one
        break;
    }
}

void TSession::AnswerLoginName(const std::string &name)
{
    if (!ValidName(name)) {
        Say(name.empty()
                ? "^rPlease enter a name.^a\r\n"_c
                : "^rA name starts with a letter and holds letters, digits, blanks and - . _^a\r\n"_c);
        AskName("^f^gName: ^a"_c);
        return;
    }
    if (SameName(name, SysopName)) {
        Say("^rThat name belongs to the Sysop.^a\r\n"_c);
        AskName("^f^gName: ^a"_c);
        return;
    }
    FPendingName = name;
    if (FHost.Board().FindUser(name))
        Say("^gWelcome back.^a\r\n"_c);
    else
        Say("^gA new user! Choose a password.^a\r\n"_c);
    FState = ssPassword;
    AskPassword();
}

void TSession::AnswerPassword(const std::string &password)
{
    TBoard &board = FHost.Board();
    TUser *user = board.FindUser(FPendingName);
    if (!user && !password.empty() && !PrintablePassword(password)) {
        Say("^rA password of letters, digits and signs, please.^a\r\n"_c);
        AskPassword();
        return;
    }
    if (!user && !password.empty()) {
        user = board.AddUser(FPendingName, password);
        if (!user) {
            Leave("^rThis BBS has no room for new users.^a\r\n"_c);
            return;
        }
        LoginDone(user->Name);
        return;
    }
    if (user && user->Password == password) {
        LoginDone(user->Name);
        return;
    }
    if (++FLoginFailures >= MaxLoginTries) {
        Leave("^rToo many attempts.^a\r\n"_c);
        return;
    }
    Say(user ? "^rWrong password.^a\r\n"_c : "^rA new user needs a password.^a\r\n"_c);
    FState = ssLoginName;
    AskName("^f^gName: ^a"_c);
}

void TSession::LoginDone(const std::string &name)
{
    FLoggedIn = true;
    FName = name;
    Say("\r\n^f^wWelcome, "_c + name + "!^a\r\n"_c);
    if (FProto != prTelnet && !FOptionsSent) {
        FOptionsSent = true;
        SendRaw({tn::IAC, CL_OPTIONS, 0, 0, 0, 0});
    }
    FHost.LoggedIn(name);
    EnterMenu(true);
}

void TSession::EnterMenu(bool full)
{
    FState = ssMenu;
    FInput = inKey;
    if (full) Say(MenuText(FCols));
    while (!FQueued.empty()) {
        DeliverExpress(FQueued.front());
        FQueued.pop_front();
    }
    Say(MenuPrompt());
}

void TSession::MenuKey(uint8_t c)
{
    if (c >= 'A' && c <= 'Z') c = uint8_t(c + 32);
    switch (c) {
    case 'w':
        Say("Who is online\r\n");
        ShowWho();
        EnterMenu(false);
        break;
    case 'x':
        Say("Express message\r\n");
        FState = ssExpressTo;
        AskName("^f^gTo whom? ^a"_c);
        break;
    case 'r':
        Say("Read posts\r\n");
        ShowPost(0);
        break;
    case 'e':
        Say("Enter a post\r\n");
        FState = ssPostText;
        AskText(true, "^f^wYour post:^a\r\n"_c);
        break;
    case 'p':
        Say("Profile\r\n");
        FState = ssProfileText;
        AskProfile();
        break;
    case 'f':
    case 'd':
    case 'u':
        Say(c == 'f' ? "Files\r\n" : c == 'd' ? "Download\r\n" : "Upload\r\n");
        FileKey(c);
        break;
    case '?':
    case 'h':
        Say("Help\r\n");
        EnterMenu(true);
        break;
    case '#': { // a flood of numbered lines, for trying screen readers and speed
        std::string flood = "Flood\r\n";
        for (int i = 1; i <= FloodLines; ++i)
            flood += "^gLine "_c + std::to_string(i) + " of " + std::to_string(FloodLines) + "^a\r\n"_c;
        Say(flood);
        EnterMenu(false);
        break;
    }
    case 'q':
        Leave("Quit\r\n^f^wGoodbye, "_c + FName + "!^a\r\n"_c);
        break;
    case '\r':
    case '\n':
    case ' ':
        Say(MenuPrompt());
        break;
    default: // not a command
        break;
    }
}

void TSession::ShowWho()
{
    Say("^f^wUsers online:^a\r\n"_c);
    if (FProto == prOrvo) SendRaw({tn::IAC, CL_WHO});
    for (const std::string &name : FHost.OnlineNames())
        Say(WhoLine(FProto, name, name == SysopName ? "the Sysop" : "online"));
    if (FProto == prOrvo) SendRaw({tn::IAC, CL_WHO_END});
}

// Shows the first post whose id is at least fromId. Between posts a MORE mark waits
// for a key; a CLient engine shows it through AB even inside a post it suppresses.
void TSession::ShowPost(int fromId)
{
    const auto &posts = FHost.Board().Posts();
    auto it = posts.begin();
    while (it != posts.end() && it->Id < fromId)
        ++it;
    if (it == posts.end()) {
        Say(fromId == 0 ? "^gNo posts yet. Press E to write the first.^a\r\n"_c : "^gEnd of posts.^a\r\n"_c);
        EnterMenu(false);
        return;
    }
    const bool client = FProto != prTelnet;
    if (client) SendRaw({tn::IAC, CL_POST});
    Say(PostHeader(FProto, it->Id, it->Author, it->Time));
    Say(Body(it->Text) + "\r\n");
    FNextPostId = it->Id + 1;
    if (std::next(it) == posts.end()) {
        if (client) SendRaw({tn::IAC, CL_POST_END});
        Say("^gEnd of posts.^a\r\n"_c);
        EnterMenu(false);
        return;
    }
    if (client) SendRaw({tn::IAC, CL_INTERRUPT});
    Say(MorePrompt());
    FState = ssMore;
}

void TSession::MoreKey(uint8_t c)
{
    Say("\r\x1b[K");
    if (FProto != prTelnet) SendRaw({tn::IAC, CL_INTERRUPT, tn::IAC, CL_POST_END});
    if (c == 'q' || c == 'Q') {
        EnterMenu(false);
        return;
    }
    ShowPost(FNextPostId);
}

void TSession::AnswerExpressTo(const std::string &to)
{
    if (to.empty()) {
        Say("^gNo message.^a\r\n"_c);
        EnterMenu(false);
        return;
    }
    const std::string online = FHost.OnlineName(to);
    if (online.empty()) {
        Say("^r"_c + to + " is not online.^a\r\n"_c);
        EnterMenu(false);
        return;
    }
    FExpressTo = online;
    FState = ssExpressText;
    AskText(false, "^f^wMessage to "_c + online + ":^a\r\n"_c);
}

void TSession::AnswerExpressText(const TAnswer &answer)
{
    if (answer.Aborted) {
        Say("^gMessage not sent.^a\r\n"_c);
    } else {
        FHost.SendExpress(FName, FExpressTo, CleanText(answer.Text));
        Say("^gMessage sent to "_c + FExpressTo + ".^a\r\n"_c);
    }
    EnterMenu(false);
}

void TSession::AnswerPost(const TAnswer &answer)
{
    if (FProto == prTelnet && !answer.Aborted) {
        FText = answer.Text + "\n";
        FState = ssPostConfirm;
        Say("^f^r<^wS^r>^gave, ^r<^wA^r>^gbort or ^r<^wC^r>^gontinue? ^w-> ^a"_c);
        return;
    }
    if (answer.Aborted)
        Say("^gPost aborted.^a\r\n"_c);
    else
        SavePost(answer.Text);
    EnterMenu(false);
}

void TSession::SavePost(const std::string &text)
{
    const TPost &post = FHost.Board().AddPost(FName, CleanText(text), std::time(nullptr));
    Say("^gPost "_c + std::to_string(post.Id) + " saved.^a\r\n"_c);
    FHost.PostAdded(post);
}

void TSession::PostConfirmKey(uint8_t c)
{
    c = uint8_t(c | 0x20);
    std::string text = FText;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (c == 's') {
        Say("Saved\r\n");
        SavePost(text);
        EnterMenu(false);
    } else if (c == 'a') {
        Say("Aborted\r\n");
        AnswerPost({text, true});
    } else if (c == 'c') {
        Say("Continue\r\n^f^c>^a "_c);
        FState = ssPostText;
        FInput = inText;
        FLine.clear();
    }
}

void TSession::AnswerProfile(const TAnswer &answer)
{
    TUser *user = FHost.Board().FindUser(FName);
    // A Telnet user who enters nothing keeps the old text; the CLient editor
    // always sends the whole text back.
    if (user && !(FProto == prTelnet && answer.Text.empty())) {
        FHost.Board().SetProfile(*user, CleanText(answer.Text));
        Say("^gProfile saved.^a\r\n"_c);
    } else {
        Say("^gProfile unchanged.^a\r\n"_c);
    }
    EnterMenu(false);
}

// A text for this terminal: a CLient editor wrote it to fit; a Telnet window may
// be narrower.
std::string TSession::Body(const std::string &text) const
{
    return FProto == prTelnet ? WordWrap(text, FCols) : Crlf(text);
}

std::string TSession::ExpressBytes(const std::string &from, const std::string &text, std::time_t when)
{
    return ExpressHeader(FProto, ++FMessageNumber, from, when) + Body(text) + "\r\n";
}

void TSession::DeliverExpress(const std::string &bytes)
{
    if (FProto != prTelnet) SendRaw({tn::IAC, CL_EXPRESS});
    Say(bytes);
    if (FProto != prTelnet) SendRaw({tn::IAC, CL_EXPRESS_END});
}

void TSession::ReceiveExpress(const std::string &from, const std::string &text, std::time_t when)
{
    if (!FLoggedIn || FState == ssGone) return;
    const std::string bytes = ExpressBytes(from, text, when);
    // A CLient engine shows messages above an open edit; a Telnet line being typed
    // and a post on screen are not interrupted.
    const bool now = FState == ssMenu || (FProto != prTelnet && FState != ssMore);
    if (!now) {
        if (FQueued.size() >= MaxQueued) FQueued.pop_front();
        FQueued.push_back(bytes);
        return;
    }
    DeliverExpress(bytes);
    if (FState == ssMenu) Say(MenuPrompt());
}

void TSession::Leave(std::string_view words)
{
    Say(words);
    FState = ssGone;
    FDeadline = FNow + LingerWait;
}

void TSession::Shutdown()
{
    if (FState == ssGone) return;
    FFiles.Stop();
    Leave("\r\n^f^rThe BBS is going down. Goodbye!^a\r\n"_c);
}

} // namespace demobbs
