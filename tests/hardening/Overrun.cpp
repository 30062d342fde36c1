// KestOverrun.dll: a DLL built as ours are (the same flags, the same load configuration) with
// the bug that the stack protector is for: a caller's text copied into a fixed stack buffer.
#include <cstring>

extern "C" __declspec(dllexport) std::size_t kestCopyIntoSmallBuffer(const char* text) {
    char buffer[16];
    std::strcpy(buffer, text);  // the overrun, on purpose
    return std::strlen(buffer);
}
