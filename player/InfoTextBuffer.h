#pragma once
// The properties report: the file's string metadata and the format of every stream.

#include <windows.h>
#include <mfidl.h>

#include <memory>

struct InfoTextBuffer {
    static constexpr int CAPACITY = 65536;
    static constexpr int LINE_CHARS = 1024;

    std::unique_ptr<wchar_t[]> buffer;
    int capacity = 0;
    int length = 0;

    // Builds the report for source and shows it in a box owned by window.
    void ShowProperties(HWND window, IMFMediaSource* source);
    // Builds the report without showing it; false when no buffer could be had.
    bool BuildReport(IMFMediaSource* source);
    void AppendStreamFormats(IMFMediaSource* source);
    void AppendMetadata(IMFMediaSource* source);
    void AppendFormat(const wchar_t* format, ...);
};
