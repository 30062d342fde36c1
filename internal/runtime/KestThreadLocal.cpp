// The thread-local variables of the GCC-built runtime that every binary of ours links statically
// (libstdc++'s exception globals), kept in Windows' fiber-local storage. libgcc's own emulation
// keeps them with winpthread's keys, which bring winpthread's thread unit along, and that unit
// adds a first-in-line vectored exception handler to the host's process at load: with this
// unit the linker takes none of libgcc's, and loading a DLL of ours leaves the process as it
// was. Same contract as libgcc's: one object per variable, the address of this thread's copy,
// made on first use from the variable's initial bytes; abort when no memory is left.
#include <windows.h>

#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// What the compiler emits for each thread-local variable (__emutls_v.<name>).
struct EmulatedVariable {
    std::uintptr_t size;
    std::uintptr_t align;
    std::uintptr_t index;  // 0 until the variable's first use gives it one
    const void* initial;
};

// A thread's copies, by index - 1.
struct ThreadCopies {
    std::uintptr_t count;
    void** copies;
};

INIT_ONCE slotOnce = INIT_ONCE_STATIC_INIT;
DWORD slot = FLS_OUT_OF_INDEXES;
SRWLOCK indexLock = SRWLOCK_INIT;
std::uintptr_t indexCount = 0;

// At a thread's end, and for every thread when the slot is freed.
void WINAPI freeThreadCopies(void* data) {
    auto* copies = static_cast<ThreadCopies*>(data);
    if (!copies) return;
    for (std::uintptr_t i = 0; i < copies->count; ++i) _aligned_free(copies->copies[i]);
    std::free(copies->copies);
    std::free(copies);
}

// At the binary's unload (a DLL's atexit runs then): no thread keeps a callback into it.
void freeSlot() { FlsFree(slot); }

BOOL CALLBACK allocateSlot(PINIT_ONCE /*once*/, void* /*parameter*/, void** /*context*/) {
    slot = FlsAlloc(freeThreadCopies);
    if (slot == FLS_OUT_OF_INDEXES) std::abort();
    if (std::atexit(freeSlot) != 0) std::abort();
    return TRUE;
}

}  // namespace

// GCC declares its built-in with the object as void *. The name is the compiler's.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void* __emutls_get_address(void* object) {
    InitOnceExecuteOnce(&slotOnce, allocateSlot, nullptr, nullptr);
    auto& variable = *static_cast<EmulatedVariable*>(object);
    std::uintptr_t index = __atomic_load_n(&variable.index, __ATOMIC_ACQUIRE);
    if (index == 0) {
        AcquireSRWLockExclusive(&indexLock);
        index = variable.index;
        if (index == 0) {
            index = ++indexCount;
            __atomic_store_n(&variable.index, index, __ATOMIC_RELEASE);
        }
        ReleaseSRWLockExclusive(&indexLock);
    }

    auto* copies = static_cast<ThreadCopies*>(FlsGetValue(slot));
    if (!copies) {
        copies = static_cast<ThreadCopies*>(std::calloc(1, sizeof(ThreadCopies)));
        if (!copies || !FlsSetValue(slot, copies)) std::abort();
    }
    if (copies->count < index) {
        const std::uintptr_t count = index + 8;
        void** grown = static_cast<void**>(std::realloc(copies->copies, count * sizeof(void*)));
        if (!grown) std::abort();
        std::memset(grown + copies->count, 0, (count - copies->count) * sizeof(void*));
        copies->copies = grown;
        copies->count = count;
    }

    void*& copy = copies->copies[index - 1];
    if (!copy) {
        const std::uintptr_t align = variable.align > sizeof(void*) ? variable.align : sizeof(void*);
        copy = _aligned_malloc(variable.size, align);
        if (!copy) std::abort();
        if (variable.initial)
            std::memcpy(copy, variable.initial, variable.size);
        else
            std::memset(copy, 0, variable.size);
    }
    return copy;
}
