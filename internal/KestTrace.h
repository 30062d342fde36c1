// The trace pattern of every function of KestCommon and KestMyCert: a start record on entry,
// an end record on every exit, and one error record per failure, all carrying the caller's
// source unit and line. Every return goes through KEST_RETURN, which marks the exit's line;
// the end record is written with that line when the trace scope closes, after the function's
// other locals are released (whose own records come first).
//
//   ResultCode readSomething() noexcept {
//       KEST_TRACE("readSomething");
//       if (!PlatformCall()) KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_..., "PlatformCall", GetLastError()));
//       if (ResultCode code = inner(); code != KEST_OK) KEST_RETURN(KEST_INNER_FAILED(code, "inner"));
//       KEST_RETURN(KEST_OK);
//   }
//
// A void function ends with KEST_RETURN_VOID(). An exit that does not mark its line still
// gets its end record, at line 0, which no source line has: the log shows the forgotten exit
// without the DLL stopping its host or touching anything process-wide.
#pragma once

#include "KestCommon.h"
#include "KestLogRecord.h"
#include "KestResultMessages.h"
#include "KestSourceFile.h"

#include <cstdarg>
#include <cstdio>

namespace kest {

// Formatting for records: at most 255 characters, always terminated.
inline constexpr std::size_t kTraceTextSize = 256;

// The line of the end record of an exit that was not marked.
inline constexpr unsigned kUnmarkedExitLine = 0;

class TraceScope {
public:
    TraceScope(const char* sourceFile, unsigned line, const char* function) noexcept
        : sourceFile_(sourceFile), function_(function) {
        logAny(sourceFile_, line, record::kStartFormat.c_str(), function_);
    }
    ~TraceScope() { logAny(sourceFile_, exitLine_, record::kEndFormat.c_str(), function_); }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    // The exit at `line` is taken: its line goes into the end record. The result passes through.
    template <typename Result>
    [[nodiscard]] Result end(unsigned line, Result result) noexcept {
        exitLine_ = line;
        return result;
    }
    void end(unsigned line) noexcept { exitLine_ = line; }

    // A platform call failed: the code's message, the platform function and its error value.
    [[nodiscard]] ResultCode platformFailed(unsigned line, ResultCode code, const char* platformFunction,
                                            unsigned long lastError) const noexcept {
        logError(sourceFile_, line, function_, code, record::kPlatformFailedFormat.c_str(), resultMessage(code),
                 platformFunction, static_cast<unsigned>(lastError));
        return code;
    }

    // An inner function of ours failed and has logged its own record: pass its code up.
    [[nodiscard]] ResultCode innerFailed(unsigned line, ResultCode code, const char* innerFunction) const noexcept {
        logError(sourceFile_, line, function_, code, record::kInnerFailedFormat.c_str(), innerFunction);
        return code;
    }

    // A check of our own failed: the message alone.
    [[nodiscard]] ResultCode checkFailed(unsigned line, ResultCode code, const char* message) const noexcept {
        logError(sourceFile_, line, function_, code, "%s", message);
        return code;
    }

    // Any other error record, formatted as the caller says (printf's formats, checked by the
    // compiler through the format attribute).
    // NOLINTNEXTLINE(cert-dcl50-cpp): a C variadic is what hands the arguments to vsnprintf.
    [[gnu::format(printf, 4, 5)]] [[nodiscard]] ResultCode failed(unsigned line, ResultCode code, const char* format,
                                                                  ...) const noexcept {
        char detail[kTraceTextSize];
        va_list values;
        va_start(values, format);
        formatText(detail, format, values);
        va_end(values);
        logError(sourceFile_, line, function_, code, "%s", detail);
        return code;
    }

    // A plain trace record under this function's source unit, formatted as the caller says.
    // NOLINTNEXTLINE(cert-dcl50-cpp): a C variadic is what hands the arguments to vsnprintf.
    [[gnu::format(printf, 3, 4)]] void note(unsigned line, const char* format, ...) const noexcept {
        char text[kTraceTextSize];
        va_list values;
        va_start(values, format);
        formatText(text, format, values);
        va_end(values);
        logAny(sourceFile_, line, "%s", text);
    }

private:
    static void formatText(char (&text)[kTraceTextSize], const char* format, va_list values) noexcept {
        std::vsnprintf(text, sizeof text, format, values);
        text[sizeof text - 1] = '\0';
    }

    const char* sourceFile_;
    const char* function_;
    unsigned exitLine_ = kUnmarkedExitLine;
};

}  // namespace kest

#define KEST_TRACE(name) \
    ::kest::TraceScope kestTrace { KEST_SOURCE_FILE, __LINE__, name }
// Every exit of a traced function: `KEST_RETURN(value);` and, in a void function, `KEST_RETURN_VOID();`.
#define KEST_RETURN(...)   return kestTrace.end(__LINE__, __VA_ARGS__)
#define KEST_RETURN_VOID() return kestTrace.end(__LINE__)
#define KEST_PLATFORM_FAILED(code, platformFunction, lastError) \
    kestTrace.platformFailed(__LINE__, code, platformFunction, lastError)
#define KEST_INNER_FAILED(code, innerFunction) kestTrace.innerFailed(__LINE__, code, innerFunction)
#define KEST_CHECK_FAILED(code, message)       kestTrace.checkFailed(__LINE__, code, message)
#define KEST_FAILED(code, ...)                 kestTrace.failed(__LINE__, code, __VA_ARGS__)
