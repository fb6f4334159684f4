#pragma once
// The module as a host finds it: beside the program, loaded at run time, known by the record
// that its one export returns. No module code is linked in.

#include "common/Owned.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <string>

std::wstring ThisProgram();
std::wstring BesideThisProgram(const wchar_t* name);
// The path as an absolute one; the path itself when it cannot be made so.
std::wstring FullPath(const std::wstring& path);

// The record of a viewer module, or null: no export, another signature, an entry point missing.
const ExtViewModuleInfo* ReadModuleInfo(HMODULE library);

// moviepane.dll beside this program, for as long as this object lives.
class LoadedModule {
public:
    LoadedModule();
    // Null when the library is missing or is not a viewer module.
    const ExtViewModuleInfo* info() const { return info_; }

private:
    Owned<HMODULE, FreeLibrary> library_;
    const ExtViewModuleInfo* info_;
};
