#include "quirks/OneDecoderThread.h"

#include "common/Owned.h"

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

namespace {

using OwnedLibrary = Owned<HMODULE, FreeLibrary>;
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Wine's class of its GStreamer byte-stream handler: asking its library for it starts GStreamer.
constexpr CLSID GSTREAMER_BYTE_STREAM_HANDLER = {
    0x317df618, 0x5e5a, 0x468a, {0x9f, 0x15, 0xd8, 0x27, 0xa9, 0xa0, 0x81, 0x62}};

}  // namespace

// Wine 10's source decodes H.264 with GStreamer's libav decoder, and gives it as many threads as
// the process may use CPUs when GStreamer starts. With more than one, the decoder's threads race
// its streaming thread over its buffer pool while the coded frame is larger than the picture
// (854x480 is coded 864x480), and now and then the native side ends the whole process: "video
// meta uses 864x480 instead of 854x480". On one thread there is no race. Wine counts the CPUs
// only as GStreamer starts, so the process is held to one CPU for just that moment.
void UseOneDecoderThread() {
    const HANDLE process = GetCurrentProcess();
    DWORD_PTR allowed = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(process, &allowed, &system) || !allowed) return;
    const OwnedLibrary gstreamer(LoadLibraryW(L"winegstreamer.dll"));
    if (!gstreamer) return;
    const FARPROC found = GetProcAddress(gstreamer.get(), "DllGetClassObject");
    if (!found) return;
    const auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(found));
    if (!SetProcessAffinityMask(process, allowed & (~allowed + 1))) return;
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    getClassObject(GSTREAMER_BYTE_STREAM_HANDLER, IID_PPV_ARGS(&factory));
    SetProcessAffinityMask(process, allowed);
}
