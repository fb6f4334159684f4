#include "errors/ErrorBox.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <memory>

namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* text) const { LocalFree(text); }
};
using LocalText = std::unique_ptr<wchar_t, LocalFreeDeleter>;

// Appends as much of `text` as fits and keeps the message NUL-terminated; a message that has
// somehow lost its terminator is left as it is.
void AppendText(wchar_t (&message)[ERROR_MESSAGE_CHARS], const wchar_t* text) {
    size_t length = 0;
    while (length < ERROR_MESSAGE_CHARS && message[length] != L'\0') {
        ++length;
    }
    if (length == ERROR_MESSAGE_CHARS) {
        return;
    }
    for (; *text != L'\0' && length + 1 < ERROR_MESSAGE_CHARS; ++text) {
        message[length++] = *text;
    }
    message[length] = L'\0';
}

// A facility-8 status carries a plain system error code in its low word; everything else is
// looked up as it stands.
DWORD LookupCode(HRESULT status) {
    const auto bits = static_cast<DWORD>(status);
    return ((bits >> 16) & 0x1FFF) == FACILITY_WINDOWS ? (bits & 0xFFFF) : bits;
}

bool AppendSystemText(wchar_t (&message)[ERROR_MESSAGE_CHARS], DWORD code) {
    wchar_t* allocated = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
    const LocalText systemText(allocated);
    if (length == 0 || !systemText) {
        return false;
    }
    AppendText(message, systemText.get());
    return true;
}

}  // namespace

const wchar_t* FindMFErrorText(DWORD code) {
    const auto entry = std::find_if(std::begin(mfErrorTexts), std::end(mfErrorTexts),
                                    [code](const ErrorTextEntry& row) { return row.code == code; });
    return entry == std::end(mfErrorTexts) ? nullptr : entry->text;
}

namespace {

void AppendDescription(wchar_t (&message)[ERROR_MESSAGE_CHARS], HRESULT status) {
    const DWORD code = LookupCode(status);
    if (AppendSystemText(message, code)) {
        return;
    }
    if (const wchar_t* text = FindMFErrorText(code)) {
        AppendText(message, text);
        return;
    }
    // Formatted on its own first, so that after a long path it is cut like any other piece.
    wchar_t unknown[40] = {};
    std::swprintf(unknown, std::size(unknown), L"Unknown HRESULT error (0x%08X)", static_cast<unsigned>(code));
    AppendText(message, unknown);
}

}  // namespace

void FormatErrorMessage(HRESULT status, const wchar_t* path, wchar_t (&message)[ERROR_MESSAGE_CHARS],
                        const wchar_t* why) {
    std::fill(std::begin(message), std::end(message), L'\0');
    if (path) {
        AppendText(message, path);
        AppendText(message, L"\n");
    }
    AppendDescription(message, status);
    if (!why || *why == L'\0') {
        return;
    }
    // The system's texts end with a line break of their own.
    const auto length = static_cast<size_t>(std::find(std::begin(message), std::end(message), L'\0') - std::begin(message));
    if (length > 0 && message[length - 1] != L'\n') {
        AppendText(message, L"\n");
    }
    AppendText(message, why);
}

void ShowErrorBox(HRESULT status, const wchar_t* path, const wchar_t* why) {
    wchar_t message[ERROR_MESSAGE_CHARS];
    FormatErrorMessage(status, path, message, why);
    MessageBoxW(nullptr, message, L"ExtViewMF", MB_ICONERROR);
}
