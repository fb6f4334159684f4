// The module as a host sees it: the built DLL, its one export, the record it returns and the
// entry points reached through that record.

#include "module/ExtViewModuleInfo.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN64) && defined(__GNUC__)
// Calls fn with count 32-bit arguments (args[0] first) and returns the bytes the callee took
// off the stack; the callee's result goes to *result. The stack is put back from a saved
// register, so a callee that takes the wrong amount cannot derail the test.
extern "C" __attribute__((naked)) uint32_t __cdecl MeasureStackCleanup(const void*, const uint32_t*, uint32_t,
                                                                      uint32_t*) {
    __asm__(
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    movl 8(%ebp), %eax\n"
        "    movl 12(%ebp), %esi\n"
        "    movl 16(%ebp), %edx\n"
        "1:  testl %edx, %edx\n"
        "    jz 2f\n"
        "    decl %edx\n"
        "    pushl (%esi,%edx,4)\n"
        "    jmp 1b\n"
        "2:  movl %esp, %edi\n"
        "    call *%eax\n"
        "    movl %esp, %ecx\n"
        "    subl %edi, %ecx\n"
        "    movl 20(%ebp), %edx\n"
        "    movl %eax, (%edx)\n"
        "    movl %ecx, %eax\n"
        "    leal -12(%ebp), %esp\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    popl %ebp\n"
        "    ret\n");
}
#endif

namespace {

template <typename T>
T ReadAt(const void* record, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof(T));
    return value;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW((BuildDir() + L"\\moviepane.dll").c_str());
        ASSERT_NE(module_, nullptr) << "moviepane.dll did not load, error " << GetLastError();
        getInfo_ = reinterpret_cast<GetExtViewModuleInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "GetExtViewModuleInfo")));
        ASSERT_NE(getInfo_, nullptr) << "no undecorated GetExtViewModuleInfo export";
        info_ = getInfo_(nullptr);
        ASSERT_NE(info_, nullptr);
    }

    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    const unsigned char* Base() const { return reinterpret_cast<const unsigned char*>(module_); }

    const IMAGE_NT_HEADERS* Headers() const {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
        return reinterpret_cast<const IMAGE_NT_HEADERS*>(Base() + dos->e_lfanew);
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return Headers()->OptionalHeader.DataDirectory[index];
    }

    bool InImage(const void* address) const {
        const auto* p = static_cast<const unsigned char*>(address);
        return p >= Base() && p < Base() + Headers()->OptionalHeader.SizeOfImage;
    }

    HMODULE module_ = nullptr;
    GetExtViewModuleInfoFn getInfo_ = nullptr;
    const ExtViewModuleInfo* info_ = nullptr;
};

TEST_F(ModuleTest, ExportReturnsTheSameConstantRecordEveryTime) {
    EXPECT_EQ(getInfo_(nullptr), info_);
    EXPECT_EQ(getInfo_(reinterpret_cast<void*>(static_cast<uintptr_t>(0x12345678))), info_);

    // Constant data of the module: inside its image, on a page nobody may write.
    EXPECT_TRUE(InImage(info_));
    EXPECT_TRUE(InImage(reinterpret_cast<const unsigned char*>(info_) + sizeof(ExtViewModuleInfo) - 1));
    MEMORY_BASIC_INFORMATION page{};
    ASSERT_NE(VirtualQuery(info_, &page, sizeof(page)), 0u);
    EXPECT_EQ(page.Protect, static_cast<DWORD>(PAGE_READONLY));
}

TEST_F(ModuleTest, RecordHoldsItsValuesAtTheHostsOffsets) {
#if defined(_WIN64)
    const size_t offsets[] = {0, 8, 12, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96};
#else
    const size_t offsets[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52};
#endif

    EXPECT_STREQ(ReadAt<const char*>(info_, offsets[0]), "VornExtViewModule");
    EXPECT_EQ(ReadAt<uint32_t>(info_, offsets[1]), 2u);
    EXPECT_EQ(ReadAt<uint32_t>(info_, offsets[2]), 1u);
    EXPECT_EQ(ReadAt<uintptr_t>(info_, offsets[3]), 0u);
    EXPECT_STREQ(ReadAt<const char*>(info_, offsets[4]), "ExtViewMF");
    EXPECT_STREQ(ReadAt<const char*>(info_, offsets[5]), "*.mp4|*.mov");
    EXPECT_STREQ(ReadAt<const wchar_t*>(info_, offsets[6]), L"Media Foundation Movie Viewer Module ver. 0.1");
    const wchar_t* notice = ReadAt<const wchar_t*>(info_, offsets[7]);
    ASSERT_NE(notice, nullptr);
    EXPECT_GT(wcslen(notice), 0u);
    for (size_t field = 0; field < 8; ++field) {
        if (field == 1 || field == 2 || field == 3) continue;
        EXPECT_TRUE(InImage(ReadAt<const void*>(info_, offsets[field]))) << "string field " << field;
    }
    for (size_t field = 8; field < 14; ++field) {
        const void* entry = ReadAt<const void*>(info_, offsets[field]);
        EXPECT_NE(entry, nullptr) << "entry point field " << field;
        EXPECT_TRUE(InImage(entry)) << "entry point field " << field;
    }

    // The struct the module is built with reads the same.
    EXPECT_STREQ(info_->signature, "VornExtViewModule");
    EXPECT_EQ(info_->number1, 2u);
    EXPECT_EQ(info_->number2, 1u);
    EXPECT_EQ(info_->reserved, nullptr);
    EXPECT_STREQ(info_->moduleId, "ExtViewMF");
    EXPECT_STREQ(info_->extensionFilter, "*.mp4|*.mov");
    EXPECT_STREQ(info_->description, L"Media Foundation Movie Viewer Module ver. 0.1");
    EXPECT_EQ(info_->copyrightNotice, notice);
    EXPECT_EQ(reinterpret_cast<const void*>(info_->create), ReadAt<const void*>(info_, offsets[8]));
    EXPECT_EQ(reinterpret_cast<const void*>(info_->destroy), ReadAt<const void*>(info_, offsets[9]));
    EXPECT_EQ(reinterpret_cast<const void*>(info_->open), ReadAt<const void*>(info_, offsets[10]));
    EXPECT_EQ(reinterpret_cast<const void*>(info_->attach), ReadAt<const void*>(info_, offsets[11]));
    EXPECT_EQ(reinterpret_cast<const void*>(info_->draw), ReadAt<const void*>(info_, offsets[12]));
    EXPECT_EQ(reinterpret_cast<const void*>(info_->message), ReadAt<const void*>(info_, offsets[13]));
}

TEST_F(ModuleTest, ExportsOnlyGetExtViewModuleInfo) {
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base() + directory.VirtualAddress);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 1u);
    const auto* names = reinterpret_cast<const DWORD*>(Base() + exports->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char*>(Base() + names[0]), "GetExtViewModuleInfo");
}

TEST_F(ModuleTest, ImportsOnlySystemLibrariesAndQISearchByOrdinal) {
    const std::set<std::string> system = {
        "kernel32.dll", "user32.dll", "gdi32.dll",    "shell32.dll", "shlwapi.dll", "comctl32.dll",
        "ole32.dll",    "oleaut32.dll", "propsys.dll", "mf.dll",      "mfplat.dll",  "msvcrt.dll",
        "advapi32.dll", "ucrtbase.dll", "ntdll.dll",
    };
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);

    const void* qisearchSlot = nullptr;
    std::vector<std::string> libraries;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Base() + directory.VirtualAddress);
         import->Name != 0; ++import) {
        const std::string name = Lower(reinterpret_cast<const char*>(Base() + import->Name));
        libraries.push_back(name);
        const bool crtForwarder = name.rfind("api-ms-win-crt-", 0) == 0;
        EXPECT_TRUE(system.count(name) || crtForwarder) << "imports " << name;
        if (name != "shlwapi.dll") continue;

        // The lookup table keeps what the linker wrote; the address table is bound by now.
        ASSERT_NE(import->OriginalFirstThunk, 0u);
        const auto* lookup = reinterpret_cast<const IMAGE_THUNK_DATA*>(Base() + import->OriginalFirstThunk);
        const auto* bound = reinterpret_cast<const IMAGE_THUNK_DATA*>(Base() + import->FirstThunk);
        for (; lookup->u1.AddressOfData != 0; ++lookup, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)) {
                if (IMAGE_ORDINAL(lookup->u1.Ordinal) == 219) {
                    qisearchSlot = reinterpret_cast<const void*>(bound->u1.Function);
                }
                continue;
            }
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(Base() + lookup->u1.AddressOfData);
            EXPECT_STRNE(reinterpret_cast<const char*>(byName->Name), "QISearch") << "QISearch imported by name";
        }
    }
    for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"}) {
        for (const std::string& name : libraries) EXPECT_EQ(name.find(runtime), std::string::npos) << name;
    }

    ASSERT_NE(qisearchSlot, nullptr) << "shlwapi ordinal 219 is not imported";
    const HMODULE shlwapi = GetModuleHandleW(L"shlwapi.dll");
    ASSERT_NE(shlwapi, nullptr);
    EXPECT_EQ(qisearchSlot, reinterpret_cast<const void*>(GetProcAddress(shlwapi, "QISearch")));
}

// What Explorer's file properties show, read the way Windows reads it.
TEST_F(ModuleTest, VersionResourceDescribesTheModuleAsItsRecordDoes) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(module_, path, MAX_PATH), 0u);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &unused);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

    const WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(const_cast<WORD**>(&translation)), &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    const auto text = [&](const wchar_t* name) {
        wchar_t key[96];
        std::swprintf(key, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
        wchar_t* value = nullptr;
        UINT characters = 0;
        const bool found = VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &characters) &&
                           value && characters > 0;
        return found ? std::wstring(value) : std::wstring(L"<missing>");
    };
    EXPECT_EQ(text(L"FileDescription"), L"Media Foundation Movie Viewer Module");
    EXPECT_EQ(text(L"LegalCopyright"), info_->copyrightNotice);
    EXPECT_EQ(text(L"OriginalFilename"), L"moviepane.dll");
    const std::wstring version = text(L"FileVersion");
    EXPECT_EQ(text(L"ProductVersion"), version);
    // The numbers are the text's leading ones: "1.2-3-g..." gives 1.2.0.3, "0.1-g..." 0.1.0.0.
    const std::wstring numbers =
        std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS));
    EXPECT_TRUE(version.rfind(numbers, 0) == 0 || version.rfind(L"v" + numbers, 0) == 0)
        << Narrow(version) << " against " << Narrow(numbers);
}

TEST_F(ModuleTest, EntryPointsOnFreshViewers) {
    const ExtViewHandle first = info_->create(nullptr);
    const ExtViewHandle second = info_->create(nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);

    HostWindow host;
    EXPECT_EQ(info_->attach(first, host.pane()), -1);
    EXPECT_EQ(GetWindow(host.pane(), GW_CHILD), nullptr) << "attach without a file made windows";
    const RECT source{0, 0, 320, 240};
    const RECT destination{0, 0, 640, 480};
    const HDC dc = GetDC(host.pane());
    EXPECT_EQ(info_->draw(first, dc, &source, &destination, nullptr), -1);
    ReleaseDC(host.pane(), dc);
    EXPECT_EQ(info_->message(first, WM_KEYDOWN, VK_SPACE, 0), 1);

    info_->destroy(first);
    info_->destroy(second);
    info_->destroy(nullptr);
}

// Teardowns go on on platform threads after destroy has returned, so a module that has opened a
// file must outlive the host's FreeLibrary.
TEST_F(ModuleTest, StaysLoadedOnceItHasOpenedAFile) {
    const ExtViewHandle viewer = info_->create(nullptr);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(info_->open(viewer, MediaPath(L"sample.mp4").c_str(), 0, 0, 0, 0, 0, 0, 0), 0);
    info_->destroy(viewer);
    FreeLibrary(module_);
    FreeLibrary(module_);
    EXPECT_EQ(GetModuleHandleW(L"moviepane.dll"), module_);
    module_ = nullptr;
}

#if !defined(_WIN64)

#if defined(__GNUC__)
uint32_t Word(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

struct Measured {
    uint32_t removed;
    uint32_t result;
};

Measured Call(const void* fn, std::vector<uint32_t> args) {
    Measured measured{};
    measured.removed = MeasureStackCleanup(fn, args.data(), static_cast<uint32_t>(args.size()), &measured.result);
    return measured;
}
#endif

TEST_F(ModuleTest, EachFunctionRemovesItsOwnArgumentBytes) {
#if !defined(__GNUC__)
    GTEST_SKIP() << "the stack probe is written in GCC assembly";
#else
    const auto fn = [](auto pointer) { return reinterpret_cast<const void*>(pointer); };

    Measured call = Call(fn(getInfo_), {0});
    EXPECT_EQ(call.removed, 4u) << "GetExtViewModuleInfo";
    EXPECT_EQ(call.result, Word(info_));

    call = Call(fn(info_->create), {0});
    EXPECT_EQ(call.removed, 4u) << "create";
    const ExtViewHandle viewer = reinterpret_cast<ExtViewHandle>(static_cast<uintptr_t>(call.result));
    ASSERT_NE(viewer, nullptr);

    HostWindow host;
    call = Call(fn(info_->attach), {Word(viewer), Word(host.pane())});
    EXPECT_EQ(call.removed, 8u) << "attach";
    EXPECT_EQ(static_cast<int32_t>(call.result), -1);

    const RECT source{0, 0, 320, 240};
    const RECT destination{0, 0, 640, 480};
    const HDC dc = GetDC(host.pane());
    call = Call(fn(info_->draw), {Word(viewer), Word(dc), Word(&source), Word(&destination), 0xDEADBEEF});
    ReleaseDC(host.pane(), dc);
    EXPECT_EQ(call.removed, 20u) << "draw";
    EXPECT_EQ(static_cast<int32_t>(call.result), -1);

    call = Call(fn(info_->message), {Word(viewer), WM_KEYDOWN, VK_SPACE, 0});
    EXPECT_EQ(call.removed, 16u) << "message";
    EXPECT_EQ(static_cast<int32_t>(call.result), 1);

    // A movie that opens, so that no box waits for a user; the watcher only guards against one.
    const std::wstring path = MediaPath(L"sample.mp4");
    {
        BoxWatcher boxes;
        call = Call(fn(info_->open), {Word(viewer), Word(path.c_str()), 1, 2, 3, 4, 5, 6, 7});
        EXPECT_TRUE(boxes.Seen().empty());
    }
    EXPECT_EQ(call.removed, 36u) << "open";
    EXPECT_EQ(static_cast<int32_t>(call.result), 0);

    call = Call(fn(info_->destroy), {Word(viewer)});
    EXPECT_EQ(call.removed, 4u) << "destroy";
    call = Call(fn(info_->destroy), {0});
    EXPECT_EQ(call.removed, 4u) << "destroy of null";
#endif
}

#endif

}  // namespace
