#pragma once
// One corpus file in a host process of its own (stress_corpus.exe --one PATH): the module is
// loaded, handed the file, played, sought, clicked, asked for its properties report and
// destroyed, and the process tells the runner how
// that went (see ChildReport.h).

#include <string>

constexpr int EXIT_SETUP = 2;

// special "deleted": the file is deleted while it plays; "brief": it plays a second, untouched.
int RunOne(const std::wstring& path, const std::wstring& special);
