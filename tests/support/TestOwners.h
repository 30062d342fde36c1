// The owners of what only the tests hold, made as the libraries' owners are (KestOwners.h):
// one line each, built from the release function.
#pragma once

#include "KestSupportOwners.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kest {

// A directory walk of FindFirstFile, whose failure is INVALID_HANDLE_VALUE.
using UniqueFindHandle = UniqueValue<HANDLE, ReleaseWith<&FindClose>, InvalidHandleValue>;
using UniqueRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, ReleaseWith<&RegCloseKey>>;

}  // namespace kest
