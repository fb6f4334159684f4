#include "host/CommandLine.h"

#include "common/Owned.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

namespace demo {

namespace {

using ArgumentList = Owned<LPWSTR*, LocalFree>;
using FileSearch = Owned<HANDLE, FindClose>;

std::optional<UINT> ParseMilliseconds(const wchar_t* text) {
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end == text || *end != L'\0' || value > USER_TIMER_MAXIMUM) return std::nullopt;
    return static_cast<UINT>(value);
}

bool IsMovieName(const wchar_t* name) {
    const wchar_t* extension = PathFindExtensionW(name);
    return _wcsicmp(extension, L".mp4") == 0 || _wcsicmp(extension, L".mov") == 0;
}

// The folder's movies in name order, as a file manager lists them.
std::vector<std::wstring> MoviesIn(const std::wstring& folder) {
    std::vector<std::wstring> movies;
    const std::wstring prefix = folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder
                                                                                                 : folder + L"\\";
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return movies;
    const FileSearch search(first);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsMovieName(found.cFileName)) {
            movies.push_back(prefix + found.cFileName);
        }
    } while (FindNextFileW(search.get(), &found));
    std::sort(movies.begin(), movies.end(),
              [](const std::wstring& a, const std::wstring& b) { return StrCmpLogicalW(a.c_str(), b.c_str()) < 0; });
    return movies;
}

}  // namespace

bool RunsUnattended() {
    int count = 0;
    const ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) return false;
    for (int i = 1; i < count; ++i) {
        if (std::wstring(args.get()[i]) == L"--unattended") return true;
    }
    return false;
}

std::optional<Options> ParseCommandLine() {
    int count = 0;
    const ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) return std::nullopt;
    LPWSTR* arg = args.get();
    Options options;
    std::wstring target;
    for (int i = 1; i < count; ++i) {
        const std::wstring name = arg[i];
        const bool hasValue = i + 1 < count;
        if (name == L"--list" && hasValue && target.empty()) {
            options.list = true;
            target = arg[++i];
        } else if (name == L"--shot" && hasValue) {
            options.shotPath = arg[++i];
        } else if (name == L"--after" && hasValue) {
            const std::optional<UINT> ms = ParseMilliseconds(arg[++i]);
            if (!ms) return std::nullopt;
            options.shotAfterMs = *ms;
        } else if (name == L"--exit-after" && hasValue) {
            options.exitAfterMs = ParseMilliseconds(arg[++i]);
            if (!options.exitAfterMs) return std::nullopt;
        } else if (name == L"--unattended") {
            continue;
        } else if (name.rfind(L"--", 0) != 0 && target.empty()) {
            target = name;
        } else {
            return std::nullopt;
        }
    }
    if (target.empty()) return std::nullopt;
    options.files = options.list ? MoviesIn(target) : std::vector<std::wstring>{target};
    return options;
}

}  // namespace demo
