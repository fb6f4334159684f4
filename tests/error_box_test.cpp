#include "errors/ErrorBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t MAX_MESSAGE_LENGTH = ERROR_MESSAGE_CHARS - 1;

// The error header's codes in its own order; a pair stands for every code from first to last.
std::vector<DWORD> HeaderCodes() {
    const std::pair<DWORD, DWORD> ranges[] = {
        {0xC00D36B0, 0xC00D36B7}, {0xC00D36B9, 0xC00D36C0}, {0xC00D36C3, 0xC00D36C5}, {0xC00D36C8, 0xC00D36C9},
        {0xC00D36CB, 0xC00D36CB}, {0xC00D36CF, 0xC00D36D7}, {0x000D36D8, 0x000D36D8}, {0xC00D36D9, 0xC00D36E0},
        {0xC00D36E2, 0xC00D36F8}, {0xC00D36FA, 0xC00D36FC}, {0x000D36FD, 0x000D36FD}, {0xC00D36FE, 0xC00D36FE},
        {0xC00D3A98, 0xC00D3A98}, {0x400D3A98, 0x400D3A98}, {0xC00D3A99, 0xC00D3AA0}, {0xC00D3E80, 0xC00D3E80},
        {0xC00D3E82, 0xC00D3E82}, {0xC00D3E84, 0xC00D3E8A}, {0xC00D3E8C, 0xC00D3E8F}, {0xC00D3E91, 0xC00D3E91},
        {0xC00D3E98, 0xC00D3E9B}, {0xC00D4268, 0xC00D4271}, {0x400D4272, 0x400D4272}, {0xC00D4274, 0xC00D4294},
        {0xC00D4650, 0xC00D4659}, {0xC00D4A38, 0xC00D4A38}, {0xC00D4A3A, 0xC00D4A41}, {0x000D4A42, 0x000D4A42},
        {0xC00D4E20, 0xC00D4E26}, {0xC00D4E84, 0xC00D4E87}, {0xC00D520E, 0xC00D520E}, {0xC00D5211, 0xC00D5215},
        {0xC00D61AC, 0xC00D61AC}, {0x000D61AD, 0x000D61AD}, {0xC00D61AE, 0xC00D61AE}, {0x000D61AF, 0x000D61AF},
        {0xC00D6D60, 0xC00D6D70}, {0xC00D6D72, 0xC00D6D74}, {0x000D6D75, 0x000D6D75}, {0xC00D6D76, 0xC00D6D76},
        {0xC00D7148, 0xC00D714F}, {0x000D7150, 0x000D7150}, {0xC00D7151, 0xC00D7163}, {0xC00D7165, 0xC00D7165},
        {0xC00D7167, 0xC00D7167}, {0x000D7168, 0x000D7169}, {0xC00D716A, 0xC00D7172}, {0x000D7173, 0x000D7173},
        {0xC00D7174, 0xC00D7182}, {0xC00D9C40, 0xC00D9C43}, {0x000D9C44, 0x000D9C44}, {0xC00DA028, 0xC00DA02C},
    };
    std::vector<DWORD> codes;
    for (const auto& [first, last] : ranges) {
        for (DWORD code = first; code <= last; ++code) {
            codes.push_back(code);
        }
    }
    return codes;
}

// What the system's message tables say about `code`, or "" when they do not know it.
std::wstring SystemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
                                        0, nullptr);
    std::wstring result = length != 0 && text ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    return result;
}

std::wstring UnknownText(DWORD code) {
    wchar_t text[40];
    std::swprintf(text, 40, L"Unknown HRESULT error (0x%08X)", static_cast<unsigned>(code));
    return text;
}

// The message buffer with a guard behind it, so that a write past its end shows.
struct GuardedMessage {
    wchar_t message[ERROR_MESSAGE_CHARS];
    wchar_t guard[8];
};

std::wstring Format(HRESULT status, const wchar_t* path, const wchar_t* why = nullptr) {
    GuardedMessage buffer;
    std::fill(std::begin(buffer.message), std::end(buffer.message), L'#');
    std::fill(std::begin(buffer.guard), std::end(buffer.guard), L'G');
    FormatErrorMessage(status, path, buffer.message, why);
    EXPECT_TRUE(std::all_of(std::begin(buffer.guard), std::end(buffer.guard), [](wchar_t c) { return c == L'G'; }));
    const auto end = std::find(std::begin(buffer.message), std::end(buffer.message), L'\0');
    EXPECT_NE(end, std::end(buffer.message)) << "message not terminated";
    return std::wstring(std::begin(buffer.message), end);
}

const wchar_t PATH[] = L"C:\\Movies\\holiday.mp4";
const wchar_t PLATFORM_NOT_INITIALIZED[] = L"Platform not initialized. Please call MFStartup().";
const HRESULT UNKNOWN_MF_STATUS = static_cast<HRESULT>(0xC00DBEEF);

// ---------------------------------------------------------------- the table

TEST(MFErrorTexts, HoldsEveryHeaderCodeOnceInHeaderOrder) {
    const std::vector<DWORD> expected = HeaderCodes();
    ASSERT_EQ(expected.size(), MF_ERROR_TEXT_COUNT);

    std::vector<DWORD> actual;
    for (const ErrorTextEntry& row : mfErrorTexts) {
        actual.push_back(row.code);
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(std::set<DWORD>(actual.begin(), actual.end()).size(), MF_ERROR_TEXT_COUNT);
}

TEST(MFErrorTexts, SuccessAndInformationalRowsAreFoundLikeFailures) {
    const DWORD successCodes[] = {0x000D36D8, 0x000D36FD, 0x400D3A98, 0x400D4272, 0x000D4A42, 0x000D61AD, 0x000D61AF,
                                  0x000D6D75, 0x000D7150, 0x000D7168, 0x000D7169, 0x000D7173, 0x000D9C44};
    for (DWORD code : successCodes) {
        EXPECT_NE(FindMFErrorText(code), nullptr) << std::hex << code;
    }
    const auto failures = std::count_if(std::begin(mfErrorTexts), std::end(mfErrorTexts),
                                        [](const ErrorTextEntry& row) { return (row.code >> 28) == 0xC; });
    EXPECT_EQ(MF_ERROR_TEXT_COUNT - failures, std::size(successCodes));
    // Same low word, told apart by the whole code.
    EXPECT_STREQ(FindMFErrorText(0xC00D3A98), L"Not enough data has been parsed to carry out the requested action.");
    EXPECT_STREQ(FindMFErrorText(0x400D3A98), L"Parsing is still in progress and is not yet complete.");
    EXPECT_EQ(FindMFErrorText(0x000036B0), nullptr);
    EXPECT_EQ(FindMFErrorText(0xC00DBEEF), nullptr);
}

TEST(MFErrorTexts, KeepTheHeadersWordingAndOddEndings) {
    EXPECT_STREQ(FindMFErrorText(0xC00D36B0), PLATFORM_NOT_INITIALIZED);
    EXPECT_STREQ(FindMFErrorText(0xC00D36CB), L"The request failed because the data in the stream is corrupt.%0\n.");
    EXPECT_STREQ(FindMFErrorText(0xC00D5212), L"No suitable transform was found to encode or decode the content. ");
    EXPECT_STREQ(FindMFErrorText(0xC00D36E3), L"You are calling MFStartup with the wrong MF_VERSION. Mismatched bits?");
    EXPECT_STREQ(FindMFErrorText(0xC00D4281), L"Session not found.");
    EXPECT_STREQ(FindMFErrorText(0xC00D4290), L"Session not found.");

    size_t insertEndings = 0, spaceEndings = 0, withoutFullStop = 0, longest = 0;
    for (const ErrorTextEntry& row : mfErrorTexts) {
        ASSERT_NE(row.text, nullptr) << std::hex << row.code;
        const std::wstring text = row.text;
        ASSERT_FALSE(text.empty()) << std::hex << row.code;
        insertEndings += text.size() >= 4 && text.compare(text.size() - 4, 4, L"%0\n.") == 0;
        spaceEndings += text.back() == L' ';
        withoutFullStop += text.back() != L'.' && text.back() != L' ';
        longest = std::max(longest, text.size());
    }
    EXPECT_EQ(insertEndings, 5u);
    EXPECT_EQ(spaceEndings, 4u);
    EXPECT_EQ(withoutFullStop, 7u);
    EXPECT_EQ(longest, 287u);
}

// ---------------------------------------------------------------- the message

TEST(FormatErrorMessage, PathLineThenDescription) {
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), PATH), std::wstring(PATH) + L"\n" + PLATFORM_NOT_INITIALIZED);
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36CB), PATH),
              std::wstring(PATH) + L"\nThe request failed because the data in the stream is corrupt.%0\n.");
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), nullptr), PLATFORM_NOT_INITIALIZED);
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), L""), std::wstring(L"\n") + PLATFORM_NOT_INITIALIZED);
}

TEST(FormatErrorMessage, UnknownStatusShowsItsValue) {
    ASSERT_EQ(SystemText(static_cast<DWORD>(UNKNOWN_MF_STATUS)), L"");
    EXPECT_EQ(Format(UNKNOWN_MF_STATUS, PATH), std::wstring(PATH) + L"\nUnknown HRESULT error (0xC00DBEEF)");
    EXPECT_EQ(Format(UNKNOWN_MF_STATUS, nullptr), L"Unknown HRESULT error (0xC00DBEEF)");
}

TEST(FormatErrorMessage, FacilityWindowsStatusIsLookedUpByItsLowWord) {
    const std::wstring accessDenied = SystemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(accessDenied.empty());
    EXPECT_EQ(Format(static_cast<HRESULT>(0x80080005), PATH), std::wstring(PATH) + L"\n" + accessDenied);
    // The severity and customer bits above the facility take no part.
    EXPECT_EQ(Format(static_cast<HRESULT>(0xE0080005), nullptr), accessDenied);

    ASSERT_EQ(SystemText(0xBEEF), L"");
    EXPECT_EQ(Format(static_cast<HRESULT>(0x8008BEEF), PATH),
              std::wstring(PATH) + L"\nUnknown HRESULT error (0x0000BEEF)");
}

TEST(FormatErrorMessage, FacilityWin32StatusIsLookedUpWhole) {
    ASSERT_EQ(SystemText(0x8007BEEF), L"");
    EXPECT_EQ(Format(static_cast<HRESULT>(0x8007BEEF), nullptr), L"Unknown HRESULT error (0x8007BEEF)");
}

TEST(FormatErrorMessage, SystemTextWithInsertsDoesNotBreakTheMessage) {
    // ERROR_WRONG_DISK's text has inserts and no arguments are given for them.
    const std::wstring message = Format(static_cast<HRESULT>(0x80080022), PATH);
    EXPECT_EQ(message.compare(0, wcslen(PATH) + 1, std::wstring(PATH) + L"\n"), 0);
    EXPECT_GT(message.size(), wcslen(PATH) + 1);
}

TEST(FormatErrorMessage, OverlongPathFillsTheMessageAlone) {
    const std::wstring path(600, L'p');
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), path.c_str()), path.substr(0, MAX_MESSAGE_LENGTH));
    EXPECT_EQ(Format(UNKNOWN_MF_STATUS, path.c_str()), path.substr(0, MAX_MESSAGE_LENGTH));
}

TEST(FormatErrorMessage, AReasonTakesALineOfItsOwnAfterTheDescription) {
    const std::wstring why = L"The video is HEVC (H.265) Main 10, 10-bit, which this system cannot decode.";
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36BB), PATH, why.c_str()),
              std::wstring(PATH) + L"\nAn unexpected error has occurred in the operation requested.\n" + why);
    // A system text brings its own line break.
    const std::wstring endOfFile = SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)));
    ASSERT_FALSE(endOfFile.empty());
    EXPECT_EQ(Format(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), nullptr, why.c_str()),
              endOfFile + (endOfFile.back() == L'\n' ? L"" : L"\n") + why);
    // Without one the box stays as it is; and the reason is cut at the buffer's end too.
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), PATH, L""), std::wstring(PATH) + L"\n" + PLATFORM_NOT_INITIALIZED);
    const std::wstring path(450, L'x');
    EXPECT_EQ(Format(static_cast<HRESULT>(0xC00D36B0), path.c_str(), why.c_str()),
              (path + L"\n" + PLATFORM_NOT_INITIALIZED + L"\n" + why).substr(0, MAX_MESSAGE_LENGTH));
}

TEST(FormatErrorMessage, EveryDescriptionIsCutAtTheBufferEnd) {
    const std::wstring accessDenied = SystemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(accessDenied.empty());
    const struct {
        HRESULT status;
        std::wstring description;
    } cases[] = {
        {static_cast<HRESULT>(0xC00D36B0), PLATFORM_NOT_INITIALIZED},
        {static_cast<HRESULT>(0x80080005), accessDenied},
        {UNKNOWN_MF_STATUS, UnknownText(static_cast<DWORD>(UNKNOWN_MF_STATUS))},
        {static_cast<HRESULT>(0x8008BEEF), UnknownText(0xBEEF)},
    };
    // 484 leaves exactly room for the whole unknown-status text; the longer ones cut into it.
    for (const auto& c : cases) {
        for (size_t length : {470u, 484u, 485u, 500u, 517u, 518u, 519u, 520u}) {
            const std::wstring path(length, L'x');
            const std::wstring expected = (path + L"\n" + c.description).substr(0, MAX_MESSAGE_LENGTH);
            EXPECT_EQ(Format(c.status, path.c_str()), expected)
                << "status " << std::hex << c.status << std::dec << ", path of " << length;
        }
    }
}

}  // namespace
