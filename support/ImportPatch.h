// Replaces one entry of a loaded DLL's import address table for the life of the object.
//
// Tests reach the failure paths of the libraries this way: the library's own call to, say,
// HeapAlloc or MessageBoxA lands in the test's replacement, with no seam in the library. The
// tool mends two platform gaps with it, and the benchmark counts and silences calls.
#pragma once

#include <windows.h>

#include <string>

namespace kest {

class ImportPatch {
public:
    // By name: `function` as imported by `module` from `importedDll`.
    ImportPatch(const char* module, const char* importedDll, const char* function, const void* replacement);
    // By ordinal, for imports bound that way.
    ImportPatch(const char* module, const char* importedDll, WORD ordinal, const void* replacement);
    ~ImportPatch();

    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // The address the entry held before: call it to pass through to the real function.
    template <typename Function>
    [[nodiscard]] Function original() const noexcept {
        return reinterpret_cast<Function>(original_);
    }

private:
    void install(const void* replacement);

    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

// The import address table entry of `module` for a function, or nullptr if it imports none.
ULONG_PTR* findImportSlot(HMODULE module, const char* importedDll, const char* function, WORD ordinal);

}  // namespace kest
