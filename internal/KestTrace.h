// The trace pattern of every function of KestCommon and KestMyCert: a start record on entry,
// an end record on every exit, and one error record per failure, all carrying the caller's
// source unit and line.
//
//   ResultCode readSomething() noexcept {
//       KEST_TRACE("readSomething");
//       if (!PlatformCall()) return KEST_PLATFORM_FAILED(KEST_E_..., "PlatformCall", GetLastError());
//       if (ResultCode code = inner(); code != KEST_OK) return KEST_INNER_FAILED(code, "inner");
//       return KEST_OK;
//   }
#pragma once

#include "KestCommon.h"
#include "KestLog.h"
#include "KestResultMessages.h"

#include <cstdarg>
#include <cstdio>

namespace kest {

// Formatting for records: at most 255 characters, always terminated.
inline constexpr std::size_t kTraceTextSize = 256;

class TraceScope {
public:
    TraceScope(const char* sourceFile, unsigned line, const char* function) noexcept
        : sourceFile_(sourceFile), line_(line), function_(function) {
        logAny(sourceFile_, line_, "%s() start", function_);
    }
    ~TraceScope() { logAny(sourceFile_, line_, "%s() end", function_); }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    const char* function() const noexcept { return function_; }

    // A platform call failed: the code's message, the platform function and its error value.
    [[nodiscard]] ResultCode platformFailed(unsigned line, ResultCode code, const char* platformFunction,
                                            unsigned long lastError) const noexcept {
        logError(sourceFile_, line, function_, code, "%s : %s() failed (0x%08x)", resultMessage(code), platformFunction,
                 static_cast<unsigned>(lastError));
        return code;
    }

    // An inner function of ours failed and has logged its own record: pass its code up.
    [[nodiscard]] ResultCode innerFailed(unsigned line, ResultCode code, const char* innerFunction) const noexcept {
        logError(sourceFile_, line, function_, code, "%s() failed", innerFunction);
        return code;
    }

    // A check of our own failed: the message alone.
    [[nodiscard]] ResultCode checkFailed(unsigned line, ResultCode code, const char* message) const noexcept {
        logError(sourceFile_, line, function_, code, "%s", message);
        return code;
    }

    // Any other error record, formatted as the caller says.
    [[gnu::format(printf, 4, 5)]] [[nodiscard]] ResultCode failed(unsigned line, ResultCode code, const char* format,
                                                                  ...) const noexcept {
        char detail[kTraceTextSize];
        va_list values;
        va_start(values, format);
        std::vsnprintf(detail, sizeof detail, format, values);
        va_end(values);
        detail[sizeof detail - 1] = '\0';
        logError(sourceFile_, line, function_, code, "%s", detail);
        return code;
    }

    // A plain trace record under this function's source unit.
    [[gnu::format(printf, 3, 4)]] void note(unsigned line, const char* format, ...) const noexcept {
        char text[kTraceTextSize];
        va_list values;
        va_start(values, format);
        std::vsnprintf(text, sizeof text, format, values);
        va_end(values);
        text[sizeof text - 1] = '\0';
        logAny(sourceFile_, line, "%s", text);
    }

private:
    const char* sourceFile_;
    unsigned line_;
    const char* function_;
};

}  // namespace kest

#define KEST_TRACE(name) \
    const ::kest::TraceScope kestTrace { KEST_SOURCE_FILE, __LINE__, name }
#define KEST_PLATFORM_FAILED(code, platformFunction, lastError) \
    kestTrace.platformFailed(__LINE__, code, platformFunction, lastError)
#define KEST_INNER_FAILED(code, innerFunction) kestTrace.innerFailed(__LINE__, code, innerFunction)
#define KEST_CHECK_FAILED(code, message)       kestTrace.checkFailed(__LINE__, code, message)
#define KEST_FAILED(code, ...)                 kestTrace.failed(__LINE__, code, __VA_ARGS__)
