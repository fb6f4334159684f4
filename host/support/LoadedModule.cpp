#include "host/support/LoadedModule.h"

#include <cstring>

std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring BesideThisProgram(const wchar_t* name) {
    const std::wstring program = ThisProgram();
    return program.substr(0, program.find_last_of(L"\\/") + 1) + name;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

const ExtViewModuleInfo* ReadModuleInfo(HMODULE library) {
    if (!library) return nullptr;
    const auto getInfo = reinterpret_cast<GetExtViewModuleInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetExtViewModuleInfo")));
    const ExtViewModuleInfo* info = getInfo ? getInfo(nullptr) : nullptr;
    if (!info || !info->signature || std::strcmp(info->signature, "VornExtViewModule") != 0) return nullptr;
    const bool complete =
        info->create && info->destroy && info->open && info->attach && info->draw && info->message;
    return complete ? info : nullptr;
}

LoadedModule::LoadedModule()
    : library_(LoadLibraryW(BesideThisProgram(L"moviepane.dll").c_str())), info_(ReadModuleInfo(library_.get())) {}
