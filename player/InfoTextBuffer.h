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

    // Builds the report for source; false when no buffer could be had.
    bool BuildReport(IMFMediaSource* source);
    void AppendStreamFormats(IMFMediaSource* source);
    void AppendMetadata(IMFMediaSource* source);
    void AppendFormat(const wchar_t* format, ...);
};

// Builds the report for source into report on a thread of its own and waits for it at most
// waitMs: a source that the platform holds up keeps the host's thread no longer than that.
// HRESULT_FROM_WIN32(ERROR_TIMEOUT) when the report was not done in time; it is then dropped
// whenever it ends, and report is left as it was.
HRESULT BuildReportWithin(IMFMediaSource* source, DWORD waitMs, InfoTextBuffer& report);
