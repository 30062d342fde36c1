// How every owner of a resource is made, and the owners that several libraries need: the
// stream file and kernel handles. Each owner is a std::unique_ptr whose deleter is the
// resource's release function, one line each; the owners of KestMyCert's resources are in
// KestMyCert/private/KestMyCertOwners.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <memory>

namespace kest {

// Calls Release(resource, extra...) on a resource that is held; by then a failed release has
// no one to tell, so what it returns is dropped. The resource is a pointer, or a handle kept
// by value (UniqueValue below).
template <auto Release, auto... Extra>
struct ReleaseWith {
    template <typename Resource>
    void operator()(Resource resource) const noexcept {
        static_cast<void>(Release(resource, Extra...));
    }
};

// The invalid value of a handle kept by value: zero (or null) unless the owner says otherwise.
template <typename Handle>
struct ZeroIsInvalid {
    static Handle value() noexcept { return Handle{}; }
};

// A handle that is not a pointer to its resource (an integer handle such as HCRYPTPROV, or a
// HANDLE whose invalid value is INVALID_HANDLE_VALUE), in the form std::unique_ptr keeps: it
// compares equal to nullptr exactly when it holds the invalid value.
template <typename Handle, typename Invalid>
class HeldValue {
public:
    HeldValue() noexcept = default;
    HeldValue(std::nullptr_t) noexcept {}
    HeldValue(Handle value) noexcept : value_(value) {}
    explicit operator bool() const noexcept { return value_ != Invalid::value(); }
    operator Handle() const noexcept { return value_; }
    friend bool operator==(HeldValue a, HeldValue b) noexcept { return a.value_ == b.value_; }
    friend bool operator!=(HeldValue a, HeldValue b) noexcept { return !(a == b); }
    // Exact matches, so that a handle that is itself a pointer compares without ambiguity.
    friend bool operator==(HeldValue a, std::nullptr_t) noexcept { return !a; }
    friend bool operator!=(HeldValue a, std::nullptr_t) noexcept { return static_cast<bool>(a); }
    friend bool operator==(std::nullptr_t, HeldValue a) noexcept { return !a; }
    friend bool operator!=(std::nullptr_t, HeldValue a) noexcept { return static_cast<bool>(a); }

private:
    Handle value_ = Invalid::value();
};

template <typename Handle, typename Release, typename Invalid>
struct ReleaseHeldValue : Release {
    using pointer = HeldValue<Handle, Invalid>;
};

// The owner of a handle kept by value:
//   using UniqueProvider = UniqueValue<HCRYPTPROV, ReleaseWith<&CryptReleaseContext, DWORD{0}>>;
// get() gives the handle itself; an owner that holds the invalid value releases nothing.
template <typename Handle, typename Release, typename Invalid = ZeroIsInvalid<Handle>>
using UniqueValue = std::unique_ptr<Handle, ReleaseHeldValue<Handle, Release, Invalid>>;

using UniqueFile = std::unique_ptr<FILE, ReleaseWith<&std::fclose>>;

struct InvalidHandleValue {
    static HANDLE value() noexcept { return INVALID_HANDLE_VALUE; }
};

// A kernel object whose invalid value is null: process, thread, event, mutex.
using UniqueHandle = UniqueValue<HANDLE, ReleaseWith<&CloseHandle>>;
// A kernel object whose invalid value is INVALID_HANDLE_VALUE: what CreateFile opens.
using UniqueFileHandle = UniqueValue<HANDLE, ReleaseWith<&CloseHandle>, InvalidHandleValue>;
// A mutex this thread owns, given back at the end of the scope.
using MutexOwnership = UniqueValue<HANDLE, ReleaseWith<&ReleaseMutex>>;

}  // namespace kest
