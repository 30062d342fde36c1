// Helpers of the reliability tests: a reproducible random source, the count of mutated
// variants, and the check that every start record of a log has its end record.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kest::test {

// splitmix64: the same sequence on every platform and runtime, so a failing variant can be
// made again from its seed and index alone.
class Random {
public:
    explicit Random(std::uint64_t seed) noexcept : state_(seed) {}
    std::uint64_t next() noexcept {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound - 1 (bound > 0).
    std::size_t below(std::size_t bound) noexcept { return static_cast<std::size_t>(next() % bound); }
    std::size_t between(std::size_t low, std::size_t high) noexcept { return low + below(high - low + 1); }
    bool chance(unsigned percent) noexcept { return below(100) < percent; }
    unsigned char byte() noexcept { return static_cast<unsigned char>(next()); }

private:
    std::uint64_t state_;
};

// Variants per input kind: a quick count by default, KEST_MUTATIONS for the long run.
inline unsigned mutationCount(unsigned quick) {
    if (const char* wanted = std::getenv("KEST_MUTATIONS"); wanted != nullptr && *wanted != '\0')
        return static_cast<unsigned>(std::strtoul(wanted, nullptr, 10));
    return quick;
}

// The function name of a "name() start" / "name() end" record, or "" for any other record.
inline std::string traceName(const std::string& message, const char* suffix) {
    const std::string tail = std::string("() ") + suffix;
    if (message.size() <= tail.size() || message.compare(message.size() - tail.size(), tail.size(), tail) != 0)
        return "";
    const std::string name = message.substr(0, message.size() - tail.size());
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return "";
    return name;
}

// Start and end records nest like the calls: each end closes the innermost open start of the
// same name, and nothing is left open.
inline ::testing::AssertionResult tracesBalanced(const std::vector<std::string>& messages) {
    std::vector<std::string> open;
    for (std::size_t index = 0; index < messages.size(); ++index) {
        if (std::string started = traceName(messages[index], "start"); !started.empty()) {
            open.push_back(started);
        } else if (std::string ended = traceName(messages[index], "end"); !ended.empty()) {
            if (open.empty() || open.back() != ended)
                return ::testing::AssertionFailure()
                       << "record " << index << " ends " << ended << "() while "
                       << (open.empty() ? std::string("nothing") : open.back() + "()") << " is open";
            open.pop_back();
        }
    }
    if (!open.empty()) return ::testing::AssertionFailure() << open.back() << "() has no end record";
    return ::testing::AssertionSuccess();
}

}  // namespace kest::test
