// A sample installation whose KestErr.dll shows its boxes to the test: MessageBoxA in the
// DLL's import table is replaced by a recorder that answers at once.
#pragma once

#include "ImportPatch.h"
#include "Installation.h"
#include "KestErr.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kest::test {

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
    std::size_t logRecordsWhenShown;  // To tell that the box came before its record.
};

inline void PrintTo(const Box& box, std::ostream* out) {
    *out << "{owner " << box.owner << ", text " << ::testing::PrintToString(box.text) << ", caption "
         << ::testing::PrintToString(box.caption) << ", flags 0x" << std::hex << box.flags << std::dec << ", records "
         << box.logRecordsWhenShown << "}";
}

inline const HWND kOwner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x5A5A0));

// A box owned by kOwner with this text and flags, caption "Tavrin", shown before the call
// logged anything.
inline ::testing::Matcher<const Box&> ErrorBox(const std::string& text, UINT flags) {
    using ::testing::AllOf;
    using ::testing::Field;
    return AllOf(Field("owner", &Box::owner, kOwner), Field("text", &Box::text, text),
                 Field("caption", &Box::caption, "Tavrin"), Field("flags", &Box::flags, flags),
                 Field("records", &Box::logRecordsWhenShown, 0u));
}

// A record of KestErr's own source unit with this message.
inline ::testing::Matcher<const LogRecord&> KestErrRecord(const std::string& message) {
    using ::testing::AllOf;
    using ::testing::Field;
    return AllOf(Field("sourceFile", &LogRecord::sourceFile, "KestErr.cpp"),
                 Field("message", &LogRecord::message, message));
}

// What one ShowError call showed and logged.
struct Shown {
    int result;
    std::vector<Box> boxes;
    std::vector<LogRecord> records;
};

class ErrorBoxTest : public ::testing::Test, protected SampleInstallation {
protected:
    ErrorBoxTest() { current_ = this; }
    ~ErrorBoxTest() override { current_ = nullptr; }

    std::string cataloguePath() const { return installFile("KestErr.csv"); }
    void writeCatalogue(const std::string& bytes) const { writeFileBytes(cataloguePath(), bytes); }

    // The catalogue can be opened exclusively only if ShowError closed it.
    void expectCatalogueClosed() const {
        HANDLE file = CreateFileA(cataloguePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << "catalogue still open, error " << GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }

    // One call on an empty log, so that every call's boxes and records stand alone.
    Shown show(int code) {
        boxes_.clear();
        DeleteFileA(logPath().c_str());
        const int result = ShowError(kOwner, code);
        return Shown{result, boxes_, logRecords()};
    }

    int boxResult = IDOK;

private:
    static int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
        ErrorBoxTest& test = *current_;
        test.boxes_.push_back(Box{owner, text != nullptr ? text : "", caption != nullptr ? caption : "", flags,
                                  test.logRecords().size()});
        return test.boxResult;
    }

    static inline ErrorBoxTest* current_ = nullptr;
    std::vector<Box> boxes_;
    ImportPatch messageBox_{"KestErr.dll", "USER32.dll", "MessageBoxA", reinterpret_cast<const void*>(&recordBox)};
};

}  // namespace kest::test
