// The entry points on an exhausted heap. This program carries the module's entry points itself
// and replaces the non-throwing allocation, which the module uses for everything it allocates,
// with one that fails on demand.

#include "module/ExtViewModuleInfo.h"
#include "errors/ErrorBox.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

extern "C" const ExtViewModuleInfo* WINAPI GetExtViewModuleInfo(void* hostValue);

namespace {

struct Allocation {
    bool array;
    std::size_t size;
};

constexpr int MAX_WATCHED = 256;

// Only the watching thread's allocations count: Media Foundation's threads allocate too.
std::atomic<DWORD> watchedThread{0};
int failingIndex = 0;
int watchedCount = 0;
Allocation watched[MAX_WATCHED];

void* Allocate(std::size_t size, bool array) noexcept {
    if (watchedThread.load() == GetCurrentThreadId()) {
        const int index = ++watchedCount;
        if (index <= MAX_WATCHED) watched[index - 1] = {array, size};
        if (index == failingIndex) return nullptr;
    }
    try {
        return array ? ::operator new[](size) : ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

// Records this thread's non-throwing allocations while it lives; the failing one (counted
// from 1, 0 for none) returns null.
class WatchAllocations {
public:
    explicit WatchAllocations(int failing) {
        failingIndex = failing;
        watchedCount = 0;
        watchedThread = GetCurrentThreadId();
    }
    ~WatchAllocations() { watchedThread = 0; }
    WatchAllocations(const WatchAllocations&) = delete;
    WatchAllocations& operator=(const WatchAllocations&) = delete;

    std::vector<Allocation> Seen() const {
        return std::vector<Allocation>(watched, watched + std::min(watchedCount, MAX_WATCHED));
    }
};

// Counted from 1; 0 when there is none.
int FirstIndexOf(const std::vector<Allocation>& seen, bool array, std::size_t size) {
    for (size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].array == array && seen[i].size == size) return static_cast<int>(i) + 1;
    }
    return 0;
}

int LastIndexOf(const std::vector<Allocation>& seen, bool array, std::size_t size) {
    for (size_t i = seen.size(); i > 0; --i) {
        if (seen[i - 1].array == array && seen[i - 1].size == size) return static_cast<int>(i);
    }
    return 0;
}

std::wstring ExpectedText(HRESULT status, const wchar_t* path) {
    wchar_t message[ERROR_MESSAGE_CHARS];
    FormatErrorMessage(status, path, message);
    return message;
}

class ModuleHeapTest : public ::testing::Test {
protected:
    const ExtViewModuleInfo* info = GetExtViewModuleInfo(nullptr);
    const std::wstring path = MediaPath(L"sample.mp4");

    // Where in a successful open the player and the copy of the path are allocated.
    void FindOpenAllocations(int* playerIndex, int* pathIndex) {
        const ExtViewHandle viewer = info->create(nullptr);
        ASSERT_NE(viewer, nullptr);
        std::vector<Allocation> seen;
        {
            WatchAllocations watch(0);
            ASSERT_EQ(info->open(viewer, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
            seen = watch.Seen();
        }
        info->destroy(viewer);
        // The player comes first; the path is copied last, once the file has opened.
        *playerIndex = FirstIndexOf(seen, false, sizeof(CPlayer));
        *pathIndex = LastIndexOf(seen, true, (path.size() + 1) * sizeof(wchar_t));
        ASSERT_NE(*playerIndex, 0) << "the player is not allocated without throwing";
        ASSERT_NE(*pathIndex, 0) << "the path copy is not allocated without throwing";
    }

    // Opens the sample in a new viewer with the given allocation failing, which must be the
    // one expected; the box must say that memory ran out.
    ExtViewMF* OpenFailingAt(int failing, Allocation expected) {
        auto* viewer = static_cast<ExtViewMF*>(info->create(nullptr));
        EXPECT_NE(viewer, nullptr);
        if (!viewer) return nullptr;
        BoxWatcher boxes;
        INT_PTR result = 0;
        std::vector<Allocation> allocated;
        {
            WatchAllocations watch(failing);
            result = info->open(viewer, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
            allocated = watch.Seen();
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(allocated.size(), static_cast<size_t>(failing)) << "open went on after the failed allocation";
        if (allocated.size() >= static_cast<size_t>(failing)) {
            EXPECT_EQ(allocated[failing - 1].array, expected.array);
            EXPECT_EQ(allocated[failing - 1].size, expected.size);
        }
        EXPECT_TRUE(boxes.WaitFor(1, 5000));
        const std::vector<SeenBox> seen = boxes.Seen();
        EXPECT_EQ(seen.size(), 1u);
        if (!seen.empty()) {
            EXPECT_EQ(seen[0].caption, L"ExtViewMF");
            EXPECT_EQ(seen[0].text, ExpectedText(E_OUTOFMEMORY, path.c_str()));
        }
        return viewer;
    }
};

TEST_F(ModuleHeapTest, CreateReturnsNullWhenTheViewerCannotBeAllocated) {
    ExtViewHandle viewer = nullptr;
    std::vector<Allocation> seen;
    {
        WatchAllocations watch(1);
        viewer = info->create(nullptr);
        seen = watch.Seen();
    }
    EXPECT_EQ(viewer, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].array);
    EXPECT_EQ(seen[0].size, sizeof(ExtViewMF));

    // The host hands a null handle only to destroy.
    info->destroy(viewer);
}

TEST_F(ModuleHeapTest, OpenReportsOutOfMemoryForThePlayer) {
    const std::wstring expected = ExpectedText(E_OUTOFMEMORY, path.c_str());
    ASSERT_EQ(expected.compare(0, path.size() + 1, path + L"\n"), 0);
    ASSERT_GT(expected.size(), path.size() + 1) << "no description for E_OUTOFMEMORY";

    int playerIndex = 0;
    int pathIndex = 0;
    ASSERT_NO_FATAL_FAILURE(FindOpenAllocations(&playerIndex, &pathIndex));
    ASSERT_LT(playerIndex, pathIndex);

    ExtViewMF* viewer = OpenFailingAt(playerIndex, {false, sizeof(CPlayer)});
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->player, nullptr);
    EXPECT_EQ(viewer->filePath, nullptr);

    // The viewer is empty and usable: the next open with memory to spare succeeds.
    BoxWatcher boxes;
    EXPECT_EQ(info->open(viewer, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(boxes.Seen().empty());
    info->destroy(viewer);
}

TEST_F(ModuleHeapTest, OpenReportsOutOfMemoryForThePathCopy) {
    int playerIndex = 0;
    int pathIndex = 0;
    ASSERT_NO_FATAL_FAILURE(FindOpenAllocations(&playerIndex, &pathIndex));

    ExtViewMF* viewer = OpenFailingAt(pathIndex, {true, (path.size() + 1) * sizeof(wchar_t)});
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->filePath, nullptr);
    ASSERT_NE(viewer->player, nullptr);
    EXPECT_EQ(viewer->player->State(), PlayerState::Ready);
    EXPECT_TRUE(viewer->player->HasSource());

    HostWindow host;
    EXPECT_EQ(info->attach(viewer, host.pane()), -1) << "attached a viewer whose open failed";
    EXPECT_EQ(GetWindow(host.pane(), GW_CHILD), nullptr);
    info->destroy(viewer);
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, false); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, true); }
