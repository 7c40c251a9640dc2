// Session capture: what the terminal is given, written to a file as it arrives.
//
// Plain text: the terminal's output language turned into readable UTF-8: colour codes
// (01 and a letter), VT52 and ANSI escapes and control bytes other than LF and TAB are
// dropped, CR LF becomes LF, a backspace takes back the character before it on the
// current line, code page 437 bytes become their Unicode characters. A line is written
// when it ends (and the rest when the capture stops), so backspaces can be honoured.
// Raw: the received bytes exactly as the protocol engine gets them (Telnet and CLient
// commands included), so `winmarlet-replay --raw FILE --mode M` rebuilds the screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Where captured bytes go. Write returns false (and says why in Error) when the bytes
// could not all be stored.
class TCaptureSink
{
public:
    virtual ~TCaptureSink() = default;
    virtual bool Write(const char *data, size_t count) = 0;
    virtual std::string Error() const = 0;
};

// A file, created or truncated. Open failure is reported by Error() being non-empty.
class TFileCaptureSink : public TCaptureSink
{
public:
    explicit TFileCaptureSink(const std::string &path);
    ~TFileCaptureSink() override;
    bool Write(const char *data, size_t count) override;
    std::string Error() const override { return FError; }
    bool IsOpen() const { return FFd >= 0; }

private:
    int FFd = -1;
    std::string FError;
};

enum TCaptureForm { cfPlainText, cfRaw };

class TSessionCapture
{
public:
    TSessionCapture(std::unique_ptr<TCaptureSink> sink, TCaptureForm form);
    ~TSessionCapture();

    TCaptureForm Form() const { return FForm; }
    // Text the terminal is given (NUL-terminated). Ignored in the raw form.
    bool Text(const char *text);
    // Bytes handed to the protocol engine. Ignored in the plain-text form.
    bool Received(const uint8_t *data, size_t count);
    // Writes what is pending; false when that failed.
    bool Finish();
    // False after a write failed: nothing more is written.
    bool Ok() const { return FOk; }
    std::string Error() const { return FSink->Error(); }

private:
    bool Put(const char *data, size_t count);
    bool FlushLine();

    std::unique_ptr<TCaptureSink> FSink;
    TCaptureForm FForm;
    bool FOk = true;
    uint8_t FState = 0; // 0 text, 1 after 01, 2 after ESC, 3 in ESC [, 4/5 after ESC Y
    std::string FLine;  // the current line, code page 437
};

// Terminal output as readable UTF-8, as the plain-text capture writes it.
std::string TerminalPlainText(const std::string &bytes);
