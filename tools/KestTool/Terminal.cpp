// Text for the terminal: the libraries' Shift_JIS texts converted for the console or UTF-8
// output, and result codes with their logged messages.
#include "Terminal.h"

#include "KestResultMessages.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace kest::tool {
namespace {

bool isConsole(HANDLE handle) noexcept {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != FALSE;
}

void write(DWORD standardHandle, std::string_view text, UINT codePage) {
    if (text.empty()) return;
    const HANDLE handle = GetStdHandle(standardHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (isConsole(handle)) {
        const std::wstring wide = toWide(text, codePage);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string utf8 = codePage == CP_UTF8 ? std::string(text) : toUtf8(text, codePage);
    DWORD written = 0;
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

std::wstring toWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string toUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string toUtf8(std::string_view text, UINT codePage) { return toUtf8(toWide(text, codePage)); }

void writeOut(std::string_view text, UINT codePage) { write(STD_OUTPUT_HANDLE, text, codePage); }
void writeErr(std::string_view text, UINT codePage) { write(STD_ERROR_HANDLE, text, codePage); }

void BufferedOut::add(std::string_view text) {
    constexpr std::size_t kFlushSize = std::size_t{64} * 1024;
    buffer_ += text;
    if (buffer_.size() >= kFlushSize) flush();
}

void BufferedOut::flush() {
    writeOut(buffer_, codePage_);
    buffer_.clear();
}

std::string hexDigits(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", value);
    return text;
}

std::string hexCode(unsigned long value) { return "0x" + hexDigits(value); }

int reportFailure(std::string_view what, ResultCode code) {
    writeErr("kesttool: " + std::string(what) + " failed: " + hexCode(code) + " ");
    writeErr(resultMessage(code), kMessageCodePage);
    writeErr("\n");
    return kExitFailed;
}

int reportProblem(std::string_view text, UINT codePage) {
    writeErr("kesttool: ");
    writeErr(text, codePage);
    writeErr("\n");
    return kExitFailed;
}

// --- Password -------------------------------------------------------------------------

Password::~Password() { wipe(); }

Password::Password(Password&& other) noexcept : text_(std::move(other.text_)) { other.wipe(); }

Password& Password::operator=(Password&& other) noexcept {
    if (this != &other) {
        wipe();
        text_ = std::move(other.text_);
        other.wipe();
    }
    return *this;
}

// Over the whole capacity: a moved-from or shortened string keeps its old characters there.
void Password::wipe() noexcept {
    text_.resize(text_.capacity());
    SecureZeroMemory(text_.data(), text_.size() * sizeof(wchar_t));
    text_.clear();
}

namespace {

// Switches the console's echo off for its lifetime.
class EchoOff {
public:
    explicit EchoOff(HANDLE input) noexcept : input_(input) {
        if (GetConsoleMode(input_, &saved_))
            changed_ = SetConsoleMode(input_, (saved_ & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT) != FALSE;
    }
    ~EchoOff() {
        if (changed_) SetConsoleMode(input_, saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    HANDLE input_;
    DWORD saved_ = 0;
    bool changed_ = false;
};

}  // namespace

bool promptPassword(std::string_view prompt, Password& password) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!isConsole(input)) return false;
    writeErr(prompt);
    std::wstring typed;
    {
        const EchoOff echoOff(input);
        wchar_t chunk[128];
        for (;;) {
            DWORD read = 0;
            if (!ReadConsoleW(input, chunk, static_cast<DWORD>(std::size(chunk)), &read, nullptr) || read == 0) break;
            typed.append(chunk, read);
            SecureZeroMemory(chunk, sizeof chunk);
            if (typed.back() == L'\n') break;
        }
    }
    writeErr("\n");
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r')) typed.pop_back();
    password = Password(std::move(typed));
    return true;
}

bool passwordFromEnvironment(const std::string& variable, Password& password) {
    const std::wstring name = toWide(variable, CP_ACP);
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return false;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
    value.resize(length);
    password = Password(std::move(value));
    return true;
}

}  // namespace kest::tool
