// Text for people at the terminal. The libraries' texts are 8-bit: Shift_JIS messages, and
// names and paths in the active code page. A console gets them as UTF-16 (WriteConsoleW);
// a pipe or file gets UTF-8, which is what a Unix terminal under Wine and every log
// collector expect.
#pragma once

#include "KestResult.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace kest::tool {

// Messages of the system (result codes, error catalogue, log file) are Shift_JIS whatever
// the active code page.
inline constexpr UINT kMessageCodePage = 932;

std::wstring toWide(std::string_view text, UINT codePage);
std::string toUtf8(std::wstring_view text);
std::string toUtf8(std::string_view text, UINT codePage);

void writeOut(std::string_view text, UINT codePage = CP_ACP);
void writeErr(std::string_view text, UINT codePage = CP_ACP);

// Standard output in pieces of 64 KiB, written when full and when it goes: one write per line
// of a long text would cost more than making the line.
class BufferedOut {
public:
    explicit BufferedOut(UINT codePage) : codePage_(codePage) {}
    ~BufferedOut() { flush(); }
    BufferedOut(const BufferedOut&) = delete;
    BufferedOut& operator=(const BufferedOut&) = delete;

    void add(std::string_view text);
    void flush();

private:
    UINT codePage_;
    std::string buffer_;
};

// A code or last error as the libraries write it: eight lower-case hexadecimal digits
// ("25000209"), and the same after "0x" ("0x25000209").
std::string hexDigits(unsigned long value);
std::string hexCode(unsigned long value);

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a library call failed, or the catalogue has findings
inline constexpr int kExitUsage = 2;

// "kesttool: <what> failed: 0x<code> <message>" on standard error; returns kExitFailed.
[[nodiscard]] int reportFailure(std::string_view what, ResultCode code);
// "kesttool: <text>" on standard error; returns kExitFailed.
[[nodiscard]] int reportProblem(std::string_view text, UINT codePage = CP_ACP);

// A password that is wiped from memory when it goes.
class Password {
public:
    Password() = default;
    explicit Password(std::wstring text) : text_(std::move(text)) {}
    ~Password();
    Password(Password&& other) noexcept;
    Password& operator=(Password&& other) noexcept;
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;

    [[nodiscard]] const wchar_t* c_str() const noexcept { return text_.c_str(); }

private:
    void wipe() noexcept;
    std::wstring text_;
};

// Reads a password without echo from the console. False when the standard input is no
// console (then nobody could type it unseen).
[[nodiscard]] bool promptPassword(std::string_view prompt, Password& password);
// The value of an environment variable as UTF-16, false if it is not set.
[[nodiscard]] bool passwordFromEnvironment(const std::string& variable, Password& password);

}  // namespace kest::tool
