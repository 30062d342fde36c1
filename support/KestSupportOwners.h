// The owners of what only the tool, the benchmark and the tests hold (KestMyCert's own, key
// handles included, are in KestMyCertOwners.h), made as the libraries'
// owners are (KestOwners.h): one line each, built from the release function.
#pragma once

#include "KestOwners.h"

#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <type_traits>

namespace kest {

// Release functions whose resource is not their first argument, or that are member functions.
inline int releaseScreenDc(HDC dc) noexcept { return ReleaseDC(nullptr, dc); }
inline ULONG releaseComObject(IUnknown* object) noexcept { return object->Release(); }

// A directory search of FindFirstFile.
using UniqueFindHandle = UniqueValue<HANDLE, ReleaseWith<&FindClose>, InvalidHandleValue>;
// The screen's device context, from GetDC(nullptr).
using UniqueScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ReleaseWith<&releaseScreenDc>>;
// A device context of CreateCompatibleDC.
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, ReleaseWith<&DeleteDC>>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ReleaseWith<&DeleteObject>>;
// A library of LoadLibrary, one reference of its count.
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ReleaseWith<&FreeLibrary>>;
// One reference to a COM object.
template <typename Interface>
using UniqueCom = std::unique_ptr<Interface, ReleaseWith<&releaseComObject>>;

// The out-parameter of a call that hands over a resource:
//   UniqueCom<IWICStream> stream;
//   factory->CreateStream(putInto(stream));
// The owner releases what it held and holds what the call wrote once the statement ends.
template <typename Owner>
class PutInto {
public:
    explicit PutInto(Owner& owner) noexcept : owner_(owner) {}
    ~PutInto() { owner_.reset(written_); }
    PutInto(const PutInto&) = delete;
    PutInto& operator=(const PutInto&) = delete;
    operator typename Owner::pointer *() noexcept { return &written_; }
    // COM's creation functions take the address as void**.
    explicit operator void**() noexcept { return reinterpret_cast<void**>(&written_); }

private:
    Owner& owner_;
    typename Owner::pointer written_{};
};

template <typename Owner>
[[nodiscard]] PutInto<Owner> putInto(Owner& owner) noexcept {
    owner.reset();
    return PutInto<Owner>(owner);
}

}  // namespace kest
