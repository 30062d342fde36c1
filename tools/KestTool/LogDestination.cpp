// The log file's facts as KestLog meets them: LogPath through KestIniRead with Log's zero-filled
// 261-byte buffer, the name through Windows' own file-name rules, and an existing file opened
// with the runtime call, access and sharing of Log. Looked at only: no record is written and a
// file that is not there is not made.
#include "LogDestination.h"

#include "Platform.h"
#include "StandInSettings.h"

#include "KestIni.h"
#include "KestLogSettings.h"
#include "KestOwners.h"

#include <windows.h>

#include <share.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kest::tool {
namespace {

using kest::UniqueFile;

// The longest text ExpandEnvironmentStringsA gives.
constexpr DWORD kExpandedSize = 32768;

std::string expandedName(const std::string& path) {
    std::vector<char> buffer(kExpandedSize);
    const DWORD length = ExpandEnvironmentStringsA(path.c_str(), buffer.data(), kExpandedSize);
    if (length == 0 || length > kExpandedSize) return path;
    return buffer.data();
}

// LogPath as Log reads it: a zero-filled buffer of KestIni's value size, its result as given;
// the value is terminated whatever KestIni wrote.
unsigned long readLogPath(char (&value)[kKestIniValueSize]) {
    std::memset(value, 0, sizeof value);
    char section[sizeof kLogSection];
    char key[sizeof kLogPathKey];
    std::memcpy(section, kLogSection, sizeof section);
    std::memcpy(key, kLogPathKey, sizeof key);
    const unsigned long result = KestIniRead(section, key, value);
    value[sizeof value - 1] = '\0';
    return result;
}

}  // namespace

std::optional<std::string> installationLogPath() {
    char value[kKestIniValueSize];
    if (readLogPath(value) != 0 || value[0] == '\0') return std::nullopt;
    return std::string(value);
}

LogFile gatherLogFile() {
    LogFile facts;
    char value[kKestIniValueSize];
    facts.pathRead = readLogPath(value);
    if (facts.pathRead != 0) {
        // Why it failed, where the stand-in is the settings service: a value too long for the buffer.
        if (std::string standIn; readStandInValue(kLogSection, kLogPathKey, standIn) == StandInRead::found)
            facts.standInLength = standIn.size();
        return facts;
    }
    facts.path = value;
    if (facts.path.empty()) return facts;
    facts.kind = pathKind(facts.path);
    facts.folder = folderOf(facts.path);
    facts.expanded = expandedName(facts.path);

    // Windows' rules for the name: the same parsing as the open's, which GetFileAttributesA
    // does without making anything.
    const DWORD attributes = GetFileAttributesA(value);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        facts.nameError = GetLastError();
        if (!facts.folder.empty()) {
            const DWORD folder = GetFileAttributesA(facts.folder.c_str());
            facts.folderIsFile = folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY) == 0;
        }
        return facts;
    }
    facts.exists = true;
    facts.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    // Log opens with "a+t" and _SH_DENYWR: read and write access, shared with readers only.
    // "r+b" asks Windows for the same access and sharing, but opens only a file that is there,
    // and in binary mode, as the runtime's text mode may cut a final Ctrl-Z off a file it opens
    // for reading and writing; text or binary is the runtime's matter, not Windows'.
    if (const UniqueFile file{_fsopen(value, "r+b", _SH_DENYWR)}; !file) facts.openError = _doserrno;
    return facts;
}

}  // namespace kest::tool
