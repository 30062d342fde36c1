// A log record as Log writes it and the tool's log reader reads it back:
//   [M/DD hh:mm:ss]unit,line,text
// and the texts of the trace pattern (KestTrace.h) within it:
//   function() start
//   function() end
//   function() = 0x%08x : detail
// where the detail is "inner() failed" (passed up), "message : platform() failed (0x%08x)" (a
// platform call failed) or the message alone. Each piece is spelled once, here; the formats the
// writers hand to printf are joined from the same pieces the reader looks for.
#pragma once

#include <cstddef>
#include <string_view>

namespace kest::record {

// A format joined at compile time, terminated; a std::string_view of it without the terminator.
template <std::size_t Size>
struct Joined {
    char chars[Size];
    [[nodiscard]] constexpr const char* c_str() const noexcept { return chars; }
    [[nodiscard]] constexpr std::string_view view() const noexcept { return {chars, Size - 1}; }
};

template <std::size_t... Sizes>
constexpr Joined<(Sizes + ...) - sizeof...(Sizes) + 1> join(const char (&... parts)[Sizes]) noexcept {
    Joined<(Sizes + ...) - sizeof...(Sizes) + 1> joined{};
    const char* const texts[] = {parts...};
    const std::size_t sizes[] = {Sizes...};
    std::size_t at = 0;
    for (std::size_t part = 0; part < sizeof...(Sizes); ++part)
        for (std::size_t i = 0; i + 1 < sizes[part]; ++i) joined.chars[at++] = texts[part][i];
    joined.chars[at] = '\0';
    return joined;
}

// The head: the local time in brackets (the month without a leading zero, the rest two digits
// each), then the caller's source unit and line, each followed by the separator.
inline constexpr char kTimeOpen[] = "[";
inline constexpr char kDateSeparator[] = "/";
inline constexpr char kDateTimeSeparator[] = " ";
inline constexpr char kTimeSeparator[] = ":";
inline constexpr char kTimeClose[] = "]";
inline constexpr char kMonthFormat[] = "%d";
inline constexpr char kTwoDigitsFormat[] = "%02d";
inline constexpr auto kTimeFormat =
    join(kTimeOpen, kMonthFormat, kDateSeparator, kTwoDigitsFormat, kDateTimeSeparator, kTwoDigitsFormat,
         kTimeSeparator, kTwoDigitsFormat, kTimeSeparator, kTwoDigitsFormat, kTimeClose);
// "[12/31 23:59:59]" and its terminator.
inline constexpr std::size_t kTimeSize = 18;
inline constexpr char kFieldSeparator = ',';

// The trace pattern's texts.
inline constexpr char kCall[] = "()";
inline constexpr char kStart[] = " start";
inline constexpr char kEnd[] = " end";
inline constexpr char kCodeLead[] = " = 0x";
inline constexpr char kDetailSeparator[] = " : ";
inline constexpr char kFailed[] = " failed";
inline constexpr char kLastErrorOpen[] = " (0x";
inline constexpr char kLastErrorClose[] = ")";
inline constexpr char kTextFormat[] = "%s";
inline constexpr char kCodeFormat[] = "%08x";

inline constexpr auto kStartFormat = join(kTextFormat, kCall, kStart);
inline constexpr auto kEndFormat = join(kTextFormat, kCall, kEnd);
inline constexpr auto kErrorFormat = join(kTextFormat, kCall, kCodeLead, kCodeFormat, kDetailSeparator, kTextFormat);
inline constexpr auto kInnerFailedFormat = join(kTextFormat, kCall, kFailed);
inline constexpr auto kPlatformFailedFormat =
    join(kTextFormat, kDetailSeparator, kTextFormat, kCall, kFailed, kLastErrorOpen, kCodeFormat, kLastErrorClose);

}  // namespace kest::record
