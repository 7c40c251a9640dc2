#include "terminal/SessionCapture.h"

#include "terminal/Cp437.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TFileCaptureSink::TFileCaptureSink(const std::string &path)
{
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FFd < 0) FError = std::strerror(errno);
}

TFileCaptureSink::~TFileCaptureSink()
{
    if (FFd >= 0) ::close(FFd);
}

bool TFileCaptureSink::Write(const char *data, size_t count)
{
    if (FFd < 0) return false;
    while (count > 0) {
        const ssize_t n = ::write(FFd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FError = n < 0 ? std::strerror(errno) : "nothing was written";
            return false;
        }
        data += n;
        count -= size_t(n);
    }
    return true;
}

TSessionCapture::TSessionCapture(std::unique_ptr<TCaptureSink> sink, TCaptureForm form)
    : FSink(std::move(sink)), FForm(form)
{
}

TSessionCapture::~TSessionCapture() = default;

bool TSessionCapture::Put(const char *data, size_t count)
{
    if (FOk && count > 0) FOk = FSink->Write(data, count);
    return FOk;
}

bool TSessionCapture::FlushLine()
{
    const std::string utf8 = cp437::ToUtf8(FLine);
    FLine.clear();
    return Put(utf8.data(), utf8.size());
}

bool TSessionCapture::Received(const uint8_t *data, size_t count)
{
    if (FForm != cfRaw) return FOk;
    return Put(reinterpret_cast<const char *>(data), count);
}

bool TSessionCapture::Text(const char *text)
{
    if (FForm != cfPlainText) return FOk;
    for (const char *p = text; *p && FOk; ++p) {
        const uint8_t c = uint8_t(*p);
        switch (FState) {
        case 1: // the letter of a colour code
        case 5: // the second coordinate of ESC Y
            FState = 0;
            continue;
        case 2:
            FState = c == '[' ? 3 : c == 'Y' ? 4 : 0;
            continue;
        case 3: // parameters, then one final byte
            if ((c < '0' || c > '9') && c != ';') FState = 0;
            continue;
        case 4:
            FState = 5;
            continue;
        default:
            break;
        }
        if (c == 0x01)
            FState = 1;
        else if (c == 0x1B)
            FState = 2;
        else if (c == '\n') {
            FLine += '\n';
            FlushLine();
        } else if (c == 0x08) {
            if (!FLine.empty()) FLine.pop_back();
        } else if (c >= 0x20 || c == '\t')
            FLine += char(c);
    }
    return FOk;
}

bool TSessionCapture::Finish()
{
    return FlushLine();
}

namespace {

class TStringSink : public TCaptureSink
{
public:
    explicit TStringSink(std::string &out) : FOut(out) {}
    bool Write(const char *data, size_t count) override
    {
        FOut.append(data, count);
        return true;
    }
    std::string Error() const override { return {}; }

private:
    std::string &FOut;
};

} // namespace

std::string TerminalPlainText(const std::string &bytes)
{
    std::string out;
    TSessionCapture capture(std::make_unique<TStringSink>(out), cfPlainText);
    capture.Text(bytes.c_str());
    capture.Finish();
    return out;
}
