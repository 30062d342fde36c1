#include "LogFile.h"

#include "KestOwners.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace kest::test {
namespace {

// Length of a leading "[M/DD hh:mm:ss]" or "[MM/DD hh:mm:ss]", 0 if there is none.
std::size_t timestampLength(const std::string& line) {
    static const char* const patterns[] = {"[d/dd dd:dd:dd]", "[dd/dd dd:dd:dd]"};
    for (const char* pattern : patterns) {
        std::size_t i = 0;
        for (; pattern[i] != '\0' && i < line.size(); ++i) {
            const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
            if (pattern[i] == 'd' ? !digit : line[i] != pattern[i]) break;
        }
        if (pattern[i] == '\0') return i;
    }
    return 0;
}

}  // namespace

std::string readFileBytes(const std::string& path) {
    const UniqueFile file{std::fopen(path.c_str(), "rb")};
    if (!file) return {};
    std::string bytes;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    return bytes;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<LogRecord> parseLogRecords(const std::string& bytes) {
    std::vector<LogRecord> records;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        const std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes.size() : end + 2;

        const std::size_t stamp = timestampLength(line);
        if (stamp == 0 && !records.empty()) {
            records.back().message += "\n" + line;
            continue;
        }
        LogRecord record;
        record.timestamp = line.substr(0, stamp);
        const std::size_t firstComma = line.find(',', stamp);
        const std::size_t secondComma = firstComma == std::string::npos ? firstComma : line.find(',', firstComma + 1);
        if (secondComma == std::string::npos) {
            record.message = line.substr(stamp);
        } else {
            record.sourceFile = line.substr(stamp, firstComma - stamp);
            record.line = line.substr(firstComma + 1, secondComma - firstComma - 1);
            record.message = line.substr(secondComma + 1);
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<LogRecord> readLogRecords(const std::string& path) { return parseLogRecords(readFileBytes(path)); }

std::vector<std::string> readLogMessages(const std::string& path) {
    std::vector<std::string> messages;
    for (const LogRecord& record : readLogRecords(path)) messages.push_back(record.message);
    return messages;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace kest::test
