#pragma once
#include <windows.h>
#include <cstddef>

struct ErrorTextEntry {
    DWORD code;
    const wchar_t* text;
};

// Media Foundation status texts, for the codes that the system's message tables do not know.
constexpr size_t MF_ERROR_TEXT_COUNT = 270;
extern const ErrorTextEntry mfErrorTexts[MF_ERROR_TEXT_COUNT];

// The text of the first row of mfErrorTexts whose code is `code`, or null.
const wchar_t* FindMFErrorText(DWORD code);

// Room for the error box's text, its terminating NUL included.
constexpr size_t ERROR_MESSAGE_CHARS = 520;

// Builds the error box's text: the path (when there is one) and a line feed, then the status's
// description, then, when given and not empty, a line that says more of why on a line of its
// own; every piece is cut where the buffer ends.
void FormatErrorMessage(HRESULT status, const wchar_t* path, wchar_t (&message)[ERROR_MESSAGE_CHARS],
                        const wchar_t* why = nullptr);

// Tells the user that `path` could not be handled because of `status` (and `why`, when known);
// returns when the user has dismissed the box.
void ShowErrorBox(HRESULT status, const wchar_t* path, const wchar_t* why = nullptr);
