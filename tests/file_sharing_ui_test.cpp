// A movie shown in a viewer leaves its file free: other programs can write it, move it and
// delete it while it plays.

#include "player/PlayerState.h"

#include "PlayingViewer.h"
#include "TestSupport.h"

#include "host/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

// The file operations another program makes on a shown file, for the test below.
bool Succeeds(const std::wstring& operation, const std::wstring& path, const std::wstring& target = L"") {
    const ChildRun run =
        RunThisProgramAgain(L"--file-op " + operation + L" \"" + path + L"\" \"" + target + L"\"", 20000, false);
    const int code = run.startFailure.empty() && !run.timedOut ? static_cast<int>(run.exitCode) : -1;
    EXPECT_EQ(code, 0) << Narrow(operation) << " of " << Narrow(path) << " failed with error " << code;
    return code == 0;
}

// In that program, before the tests run: one operation, its Win32 error as the exit code.
const bool fileOperationDone = [] {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 5 || wcscmp(args[1], L"--file-op") != 0) {
        LocalFree(args);
        return false;
    }
    const std::wstring operation = args[2];
    BOOL done = FALSE;
    if (operation == L"write") {
        // As a program re-saving the file opens it: for writing, letting others read on.
        const HANDLE file = CreateFileW(args[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        done = file != INVALID_HANDLE_VALUE;
        if (done) CloseHandle(file);
    } else if (operation == L"move") {
        done = MoveFileExW(args[3], args[4], 0);
    } else if (operation == L"delete") {
        done = DeleteFileW(args[3]);
    }
    ExitProcess(done ? 0 : GetLastError());
}();

TEST(Open, TheShownFileStaysFreeForOtherPrograms) {
    const std::wstring folder = MediaPath(L"free");
    const std::wstring elsewhere = folder + L"\\elsewhere";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    const std::wstring shown = CopyOfMedia(L"sample.mp4", L"free\\shown.mp4");
    const std::wstring renamed = folder + L"\\renamed.mp4";
    const std::wstring moved = elsewhere + L"\\moved.mp4";

    PlayingViewer playing;
    ASSERT_TRUE(playing.Attach(L"free\\shown.mp4"));
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    EXPECT_TRUE(Succeeds(L"write", shown));
    EXPECT_TRUE(Succeeds(L"move", shown, renamed));
    EXPECT_TRUE(Succeeds(L"move", renamed, moved));
    EXPECT_TRUE(Succeeds(L"delete", moved));

    // Playback goes on, or ends: the platform may lose the file's data.
    int32_t first = 0;
    playing.QueryPosition(&first);
    EXPECT_TRUE(PumpUntil([&] {
        int32_t now = 0;
        return playing.State() != PlayerState::Started || (playing.QueryPosition(&now) == 0 && now > first + 500);
    }, 10000)) << "playback stalled in state " << static_cast<int>(playing.State());

    {
        BoxWatcher watcher;
        playing.viewer.Reset();
        EXPECT_TRUE(watcher.Seen().empty());
    }
    EXPECT_EQ(playing.viewer.player, nullptr);
    // The deleted file goes once the teardown lets go of it, which may be after destroy has returned.
    for (const std::wstring& name : {shown, renamed, moved}) {
        EXPECT_TRUE(PumpUntil([&] { return GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000))
            << Narrow(name) << " is still there";
    }
    EXPECT_TRUE(RemoveDirectoryW(elsewhere.c_str())) << "the folder the file was moved to is not empty";
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
