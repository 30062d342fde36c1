// What the tool does about its platform, as the host of the libraries: a box nobody can see
// or close, Wine's PFXVerifyPassword, which refuses every password, and the libraries' records
// kept out of a customer's log.
#pragma once

#include "ImportPatch.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

// The platform's own text for a last-error value, in the system's language, as UTF-8; a
// placeholder when the platform has none.
[[nodiscard]] std::string platformText(unsigned error);

// Whether a message box would reach a person (kest::whyNoDisplay, Display.h).
bool displayAvailable();

// Whether the path names an existing folder.
[[nodiscard]] bool isDirectory(const std::string& path);
// The folder part of a path in the active code page, walking double-byte characters whole
// (a Shift_JIS trail byte may be a backslash); empty when the path names no folder.
[[nodiscard]] std::string folderOf(const std::string& path);
// For a path that is not there: the folder or file it misses, in UTF-8, where one of that
// place's names is spelled as this path's part by the ANSI code page (é as e, Hangul as ?) but
// is another name; none otherwise.
[[nodiscard]] std::optional<std::string> spelledOtherwise(const std::string& path);

// Whether an existing file could be written with `access`, found by opening it and closing it at
// once, nothing written: ERROR_SUCCESS if so, ERROR_FILE_READ_ONLY for a file marked read-only,
// else the open's error (ERROR_SHARING_VIOLATION: another program holds it).
[[nodiscard]] DWORD writeRefusal(const std::string& path, DWORD access);

// While it lives, KestErr.dll's boxes are printed to standard output (caption, icon name
// and text) and answered with OK at once, instead of being shown.
class PrintedErrorBoxes {
public:
    PrintedErrorBoxes();

private:
    ImportPatch patch_;
};

// While it lives, KestMyCert.dll checks PKCS#12 passwords by a trial import, if the
// platform's own PFXVerifyPassword refuses the right password of a file the tool carries.
// Says so once on standard error.
class WorkingPfxPasswordCheck {
public:
    WorkingPfxPasswordCheck();

private:
    std::unique_ptr<ImportPatch> patch_;
};

// While it lives, the records the libraries of this process write through Log go into memory,
// as "<source unit>,<line>,<message>", instead of into the installation's log: a look at an
// installation then leaves its log as it was, byte for byte. One at a time.
class RecordsInMemory {
public:
    RecordsInMemory();
    ~RecordsInMemory();
    RecordsInMemory(const RecordsInMemory&) = delete;
    RecordsInMemory& operator=(const RecordsInMemory&) = delete;

    // The records so far, oldest first.
    [[nodiscard]] const std::vector<std::string>& records() const noexcept;

private:
    std::vector<std::string> records_;
    std::vector<std::unique_ptr<ImportPatch>> patches_;
};

}  // namespace kest::tool
