// Reads a log file back as records; splits a text into its lines.
#pragma once

#include <string>
#include <vector>

namespace kest::test {

struct LogRecord {
    std::string timestamp;  // "[M/DD hh:mm:ss]"
    std::string sourceFile;
    std::string line;
    std::string message;  // Continuation lines joined with "\n".
};

// The file's bytes, or an empty string if it cannot be read.
std::string readFileBytes(const std::string& path);
bool fileExists(const std::string& path);

// Physical lines end with CRLF; a line that does not begin with a timestamp continues the
// record before it (a message that held a newline).
std::vector<LogRecord> parseLogRecords(const std::string& bytes);
std::vector<LogRecord> readLogRecords(const std::string& path);
std::vector<std::string> readLogMessages(const std::string& path);

// The text's lines without their LF (a CR before it stays); a last line without an LF counts.
std::vector<std::string> linesOf(const std::string& text);

}  // namespace kest::test
