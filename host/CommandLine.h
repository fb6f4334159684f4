#pragma once
// The demo host's command line: one movie, or the movies of a folder, and the screenshot and
// exit timings.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace demo {

constexpr wchar_t USAGE[] =
    L"moviepane-view.exe FILE|--list FOLDER [--shot OUT.png|OUT.bmp --after MS] [--exit-after MS] [--unattended]";

struct Options {
    std::vector<std::wstring> files;
    bool list = false;
    std::wstring shotPath;
    UINT shotAfterMs = 0;
    std::optional<UINT> exitAfterMs;
};

// The options of this process's command line, --list's folder read into its movies; nothing when
// the command line is not understood.
std::optional<Options> ParseCommandLine();

// --unattended: nobody is in front of the screen to close a box. Read apart from the other
// options, so that it holds for the box that says the command line is not understood too.
bool RunsUnattended();

}  // namespace demo
