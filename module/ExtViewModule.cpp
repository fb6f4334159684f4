// The module's only export and the entry points it hands the host. No exception may leave an
// entry point: the host is C and would be torn down by one.

#include "module/ExtViewModuleInfo.h"
#include "module/ModuleText.h"
#include "viewer/ExtViewMF.h"

#include <new>

namespace {

ExtViewMF* Viewer(ExtViewHandle handle) { return static_cast<ExtViewMF*>(handle); }

ExtViewHandle WINAPI ExtViewCreate(void*) {
    return new (std::nothrow) ExtViewMF;
}

void WINAPI ExtViewDestroy(ExtViewHandle viewer) {
    try {
        delete Viewer(viewer);
    } catch (...) {
    }
}

INT_PTR WINAPI ExtViewOpen(ExtViewHandle viewer, const wchar_t* path, void*, void*, void*, void*, void*, void*,
                           void*) {
    try {
        return Viewer(viewer)->Open(path);
    } catch (...) {
        return -1;
    }
}

int32_t WINAPI ExtViewAttach(ExtViewHandle viewer, HWND window) {
    try {
        return Viewer(viewer)->Attach(window);
    } catch (...) {
        return -1;
    }
}

int32_t WINAPI ExtViewDraw(ExtViewHandle viewer, HDC dc, const RECT* source, const RECT* destination, void*) {
    try {
        return Viewer(viewer)->Draw(dc, source, destination);
    } catch (...) {
        return -1;
    }
}

int32_t WINAPI ExtViewMessage(ExtViewHandle viewer, uint32_t message, WPARAM wParam, LPARAM lParam) {
    try {
        return Viewer(viewer)->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return -1;
    }
}

const ExtViewModuleInfo moduleInfo = {
    "VornExtViewModule",
    2,
    1,
    nullptr,
    "ExtViewMF",
    "*.mp4|*.mov",
    L"" MOVIEPANE_DESCRIPTION " ver. 0.1",
    L"" MOVIEPANE_COPYRIGHT,
    &ExtViewCreate,
    &ExtViewDestroy,
    &ExtViewOpen,
    &ExtViewAttach,
    &ExtViewDraw,
    &ExtViewMessage,
};

}  // namespace

extern "C" const ExtViewModuleInfo* WINAPI GetExtViewModuleInfo(void*) { return &moduleInfo; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
