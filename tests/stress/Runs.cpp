#include "Runs.h"

#include "HostProcess.h"
#include "Text.h"

#include "host/support/ChildProcess.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr DWORD CHILD_LIMIT_MS = 40000;
constexpr size_t CANARY_EVERY = 25;

// The description's first line: the box shows the path, a line feed, then the description.
std::string FirstLineOfDescription(const std::string& boxText) {
    const size_t start = boxText.find("\\n");
    std::string text = start == std::string::npos ? boxText : boxText.substr(start + 2);
    text = text.substr(0, text.find("\\n"));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

Result Interpret(const std::string& output, DWORD exitCode, bool timedOut) {
    Result result;
    std::string category;
    std::string lastSlow;
    std::string crash;
    std::string boxText;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.empty()) continue;
        const std::string& tag = fields[0];
        if (tag == "outcome" && fields.size() >= 2) {
            category = fields[1];
            result.detail = fields.size() >= 3 ? fields[2] : "";
        } else if (tag == "box" && fields.size() >= 3 && boxText.empty()) {
            boxText = fields[2];
        } else if (tag == "slow" && fields.size() >= 3) {
            lastSlow = fields[1] + " still running after " + fields[2] + " ms";
        } else if (tag == "crash" && fields.size() >= 3) {
            crash = fields[1];
            result.notes.push_back(fields[2]);
        } else if (tag == "harm" && fields.size() >= 2) {
            result.harm.push_back(fields[1]);
        } else if ((tag == "note" || tag == "setup") && fields.size() >= 2) {
            result.notes.push_back(fields[1]);
        } else if (tag == "calls") {
            for (size_t i = 1; i < fields.size(); ++i) {
                std::istringstream call(fields[i]);
                std::string name;
                unsigned count = 0;
                ULONGLONG longest = 0;
                if (call >> name >> count >> longest) result.calls[name] = {count, longest};
            }
        }
    }

    if (timedOut) {
        result.outcome = "hang";
        result.detail = lastSlow.empty() ? (category.empty() ? "no call in progress" : "after its outcome: " + category)
                                         : lastSlow;
    } else if (exitCode != 0 || category.empty()) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(exitCode));
        result.outcome = exitCode == EXIT_SETUP ? "setup failed" : "crash";
        result.detail = !crash.empty() ? crash : std::string("exit code ") + code;
    } else if (category == "refused") {
        result.outcome = "refused: " + FirstLineOfDescription(boxText);
    } else if (category == "no box") {
        result.outcome = "refused without a box";
    } else {
        result.outcome = category;
    }
    const bool hurt = result.outcome == "hang" || result.outcome == "crash" || result.outcome == "setup failed" ||
                      result.outcome == "refused without a box" || result.outcome == "still";
    result.failed = hurt || !result.harm.empty();
    return result;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

std::optional<std::vector<Entry>> ReadManifest(const std::wstring& corpus) {
    std::ifstream in((corpus + L"\\corpus.tsv").c_str(), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<Entry> entries;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() < 3) continue;
        entries.push_back({Wide(fields[0]), fields[1], fields[2]});
    }
    return entries;
}

std::vector<Run> PlanRuns(const std::vector<Entry>& entries, const std::wstring& corpus, const std::wstring& scratch,
                          std::optional<size_t> sample, size_t seed) {
    std::map<std::string, size_t> perKind;
    for (const Entry& entry : entries) ++perKind[entry.kind];
    // Kinds with one or two files are one-off cases, in every run; the rest are damaged movies.
    std::set<size_t> chosen;
    std::vector<size_t> damaged;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (perKind[entries[i].kind] <= 2) {
            chosen.insert(i);
        } else {
            damaged.push_back(i);
        }
    }
    const size_t picks = sample ? std::min(*sample, damaged.size()) : damaged.size();
    for (size_t i = 0; i < picks; ++i) chosen.insert(damaged[(i * damaged.size() / picks + seed) % damaged.size()]);
    for (size_t i = 0; i < entries.size(); ++i) {
        for (const char* kept : KEPT_IN_SAMPLE) {
            if (Utf8(entries[i].name) == kept) chosen.insert(i);
        }
    }

    std::vector<Run> runs;
    for (size_t index : chosen) {
        const Entry& entry = entries[index];
        std::wstring relative = entry.name;
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        const std::wstring path = corpus + L"\\" + relative;
        const std::string label = Utf8(entry.name) + " (" + entry.detail + ")";
        runs.push_back({entry.kind, path, label, L""});
        if (path.size() >= MAX_PATH)
            runs.push_back({entry.kind + " \\\\?\\", L"\\\\?\\" + path, "\\\\?\\" + label, L""});
    }
    runs.push_back({"locked", scratch + L"\\locked.mp4", "sample.mp4 held open without sharing", L""});
    runs.push_back({"deleted", scratch + L"\\deleted.mp4", "sample.mp4 deleted while it plays", L"deleted"});

    std::vector<Run> withCanaries;
    const Run canary{"canary", corpus + L"\\sample.mp4", "sample.mp4", L""};
    for (size_t i = 0; i < runs.size(); ++i) {
        if (i > 0 && i % CANARY_EVERY == 0) withCanaries.push_back(canary);
        withCanaries.push_back(runs[i]);
    }
    withCanaries.push_back(canary);
    return withCanaries;
}

std::vector<Run> PlanWidthRuns(const std::wstring& media, size_t plays) {
    std::vector<std::wstring> names;
    for (const wchar_t* pattern : {L"\\wide-*.mp4", L"\\wide-*.mov"}) {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((media + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::vector<Run> runs;
    for (size_t i = 0; !names.empty() && i < plays; ++i) {
        const std::wstring& name = names[i % names.size()];
        const std::string label = Utf8(name) + ", play " + std::to_string(i / names.size() + 1);
        runs.push_back({Utf8(name), media + L"\\" + name, label, L"brief"});
    }
    return runs;
}

Result RunChild(const Run& run) {
    const ULONGLONG started = GetTickCount64();
    std::wstring arguments = L"--one " + Quoted(run.path);
    if (!run.special.empty()) arguments += L" --special " + run.special;
    const ChildRun child = RunThisProgramAgain(arguments, CHILD_LIMIT_MS, true);
    if (!child.startFailure.empty()) {
        Result failed;
        failed.outcome = "setup failed";
        failed.detail = child.startFailure;
        failed.failed = true;
        return failed;
    }
    Result result = Interpret(child.output, child.exitCode, child.timedOut);
    result.milliseconds = GetTickCount64() - started;
    return result;
}
