#include "ImportPatch.h"

#include <cstring>
#include <stdexcept>

namespace kest {
namespace {

template <typename T>
T* atRva(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

void writeSlot(ULONG_PTR* slot, ULONG_PTR value) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection))
        throw std::runtime_error("VirtualProtect failed on an import slot");
    *slot = value;
    VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
}

HMODULE loadedModule(const char* module) {
    HMODULE handle = GetModuleHandleA(module);
    if (handle == nullptr) throw std::runtime_error(std::string("module not loaded: ") + module);
    return handle;
}

}  // namespace

ULONG_PTR* findImportSlot(HMODULE module, const char* importedDll, const char* function, WORD ordinal) {
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
    auto* nt = atRva<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;

    for (auto* descriptor = atRva<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); descriptor->Name != 0;
         ++descriptor) {
        if (_stricmp(atRva<char>(module, descriptor->Name), importedDll) != 0) continue;
        auto* names = atRva<IMAGE_THUNK_DATA>(
            module, descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk : descriptor->FirstThunk);
        auto* addresses = atRva<IMAGE_THUNK_DATA>(module, descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            const bool byOrdinal = IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal);
            if (function == nullptr) {
                if (byOrdinal && IMAGE_ORDINAL(names->u1.Ordinal) == ordinal)
                    return reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function);
            } else if (!byOrdinal) {
                auto* byName = atRva<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function);
            }
        }
    }
    return nullptr;
}

ImportPatch::ImportPatch(const char* module, const char* importedDll, const char* function, const void* replacement)
    : slot_(findImportSlot(loadedModule(module), importedDll, function, 0)) {
    if (slot_ == nullptr)
        throw std::runtime_error(std::string(module) + " does not import " + importedDll + "!" + function);
    install(replacement);
}

ImportPatch::ImportPatch(const char* module, const char* importedDll, WORD ordinal, const void* replacement)
    : slot_(findImportSlot(loadedModule(module), importedDll, nullptr, ordinal)) {
    if (slot_ == nullptr)
        throw std::runtime_error(std::string(module) + " does not import " + importedDll + " ordinal " +
                                 std::to_string(ordinal));
    install(replacement);
}

void ImportPatch::install(const void* replacement) {
    original_ = *slot_;
    writeSlot(slot_, reinterpret_cast<ULONG_PTR>(replacement));
}

ImportPatch::~ImportPatch() {
    try {
        writeSlot(slot_, original_);
    } catch (...) {
    }
}

}  // namespace kest
