// Kernel and user services: last error, global memory, run-time module
// loading and the message box.

#include "qvt/qvtsys.h"
#include "qvt/winbase.h"
#include "qvt/winuser.h"

#include <gtest/gtest.h>

#include <elf.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kUnsetError = 0xDEADBEEF;

// Paths of the test modules, which are built next to the test program.
std::string testModulePath(const char *fileName) {
    char exe[PATH_MAX];
    const DWORD n = GetModuleFileNameA(NULL, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe) {
        return std::string();
    }
    return (fs::path(exe).parent_path() / fileName).string();
}

std::string testModule() {
    return testModulePath("qvt_testmod.so");
}

bool isLoaded(const std::string &path) {
    HMODULE h = NULL;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &h) !=
           FALSE;
}

std::string moduleFileName(HMODULE h) {
    char buffer[PATH_MAX];
    const DWORD n = GetModuleFileNameA(h, buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? std::string() : std::string(buffer, n);
}

// An export as the type it really has. The detour through void (*)(void),
// which stands for any function, keeps the compiler from warning that
// FARPROC's own type differs.
template <typename F>
F procAs(HMODULE h, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(GetProcAddress(h, name)));
}

// A private folder that disappears with the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "qvt-kernel-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) {
            fs::remove_all(path_, ignored);
        }
    }
    const fs::path &path() const { return path_; }
    std::string write(const char *name, const std::vector<char> &bytes) const {
        const fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return file.string();
    }

private:
    fs::path path_;
};

// Changes the current folder for the life of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const fs::path &dir) : previous_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~ScopedCurrentDir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }

private:
    fs::path previous_;
};

std::vector<char> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

// ---------------------------------------------------------------------------

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    DWORD seenByOther = kUnsetError;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(ERROR_BAD_EXE_FORMAT);
    });
    other.join();
    EXPECT_EQ(seenByOther, DWORD{ERROR_SUCCESS});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

// ---------------------------------------------------------------------------

TEST(GlobalMemory, ZeroByteRequestStillReturnsADistinctBlock) {
    HGLOBAL a = GlobalAlloc(GMEM_FIXED, 0);
    HGLOBAL b = GlobalAlloc(GMEM_FIXED, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(GlobalFree(a), nullptr);
    EXPECT_EQ(GlobalFree(b), nullptr);
}

TEST(GlobalMemory, FixedBlockIsUsableThroughItsHandle) {
    const size_t size = 3000;
    auto *bytes = static_cast<unsigned char *>(GlobalAlloc(GMEM_FIXED, size));
    ASSERT_NE(bytes, nullptr);
    std::memset(bytes, 0x5A, size);
    EXPECT_EQ(bytes[size - 1], 0x5A);
    EXPECT_EQ(GlobalFree(bytes), nullptr);
}

TEST(GlobalMemory, ZeroInitClearsReusedMemory) {
    for (UINT flags : {UINT{GMEM_ZEROINIT}, UINT{GPTR}}) {
        SCOPED_TRACE(flags);
        // Dirty a block first so that a reused one would show the old bytes.
        const size_t size = 512;
        void *dirty = GlobalAlloc(GMEM_FIXED, size);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xA5, size);
        GlobalFree(dirty);
        auto *bytes = static_cast<unsigned char *>(GlobalAlloc(flags, size));
        ASSERT_NE(bytes, nullptr);
        for (size_t i = 0; i < size; ++i) {
            ASSERT_EQ(bytes[i], 0) << "at byte " << i;
        }
        GlobalFree(bytes);
    }
}

TEST(GlobalMemory, ImpossibleRequestsFailWithReason) {
    struct Case {
        const char *what;
        UINT flags;
        SIZE_T bytes;
        DWORD error;
    };
    const Case cases[] = {
        {"movable block", 0x0002, 16, ERROR_INVALID_PARAMETER},
        {"unknown flag", 0x8000, 16, ERROR_INVALID_PARAMETER},
        {"larger than the address space", GMEM_FIXED, SIZE_MAX, ERROR_NOT_ENOUGH_MEMORY},
        {"more than half the address space", GPTR, SIZE_T(PTRDIFF_MAX) + 1,
         ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(kUnsetError);
        EXPECT_EQ(GlobalAlloc(c.flags, c.bytes), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(GlobalMemory, FreeingWhatIsNotALiveBlockFailsAndReturnsIt) {
    EXPECT_EQ(GlobalFree(NULL), nullptr);

    int notABlock = 0;
    SetLastError(kUnsetError);
    EXPECT_EQ(GlobalFree(&notABlock), &notABlock);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 8);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(GlobalFree(block), nullptr);
    SetLastError(kUnsetError);
    EXPECT_EQ(GlobalFree(block), block) << "second free of the same block";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

// ---------------------------------------------------------------------------

TEST(Modules, FailedLoadsReportWhy) {
    TempDir temp;
    ASSERT_FALSE(temp.path().empty());
    const std::vector<char> module = readFile(testModule());
    ASSERT_GT(module.size(), 64u);
    const bool little = module[EI_DATA] == ELFDATA2LSB;
    using Bytes = std::vector<unsigned char>;
    auto patched = [&](size_t offset, const Bytes &bytes) {
        std::vector<char> copy = module;
        for (unsigned char b : bytes) {
            copy[offset++] = static_cast<char>(b);
        }
        return copy;
    };
    auto half = [&](uint16_t v) {
        return little ? Bytes{uint8_t(v), uint8_t(v >> 8)} : Bytes{uint8_t(v >> 8), uint8_t(v)};
    };
    const uint16_t otherMachine = module[18] == EM_S390 ? EM_SPARC : EM_S390;

    struct Case {
        const char *what;
        std::string name;
        DWORD error;
    };
    const Case cases[] = {
        {"missing file", (temp.path() / "absent.so").string(), ERROR_MOD_NOT_FOUND},
        {"missing folder", (temp.path() / "absent/x.so").string(), ERROR_MOD_NOT_FOUND},
        {"missing relative path", "./qvt_no_such_module.so", ERROR_MOD_NOT_FOUND},
        {"bare name nobody provides", "libqvt_no_such_module.so", ERROR_MOD_NOT_FOUND},
        {"empty name", "", ERROR_MOD_NOT_FOUND},
        {"a folder", temp.path().string(), ERROR_MOD_NOT_FOUND},
        {"text file", temp.write("text.so", {'h', 'e', 'l', 'l', 'o', '\n'}), ERROR_BAD_EXE_FORMAT},
        {"empty file", temp.write("empty.so", {}), ERROR_BAD_EXE_FORMAT},
        {"only the ELF magic", temp.write("magic.so", {0x7f, 'E', 'L', 'F'}),
         ERROR_BAD_EXE_FORMAT},
        {"other word size",
         temp.write("class.so",
                    patched(EI_CLASS, Bytes{module[EI_CLASS] == ELFCLASS64 ? uint8_t{ELFCLASS32}
                                                                          : uint8_t{ELFCLASS64}})),
         ERROR_BAD_EXE_FORMAT},
        {"other machine", temp.write("machine.so", patched(18, half(otherMachine))),
         ERROR_BAD_EXE_FORMAT},
        {"an executable, not a shared object", temp.write("exec.so", patched(16, half(ET_EXEC))),
         ERROR_BAD_EXE_FORMAT},
        {"import nothing provides", testModulePath("qvt_testmod_badimport.so"),
         ERROR_PROC_NOT_FOUND},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.name);
        SetLastError(kUnsetError);
        HMODULE h = LoadLibraryA(c.name.c_str());
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        if (h != nullptr) {
            FreeLibrary(h);
        }
    }

    SetLastError(kUnsetError);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Modules, ExportsAreFoundByExactNameOnly) {
    HMODULE h = LoadLibraryA(testModule().c_str());
    ASSERT_NE(h, nullptr) << testModule();

    auto add = procAs<int (*)(int, int)>(h, "QvtTestAdd");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(2, 3), 5);
    auto *data = procAs<int *>(h, "qvt_test_data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data, 42);

    const char *const missing[] = {
        "qvttestadd",     // case matters
        "QvtTestAdd ",    // no trimming
        "QvtNoSuchName",  //
        "GlobalAlloc",    // imported by the module, exported by the platform
    };
    for (const char *name : missing) {
        SCOPED_TRACE(name);
        SetLastError(kUnsetError);
        EXPECT_EQ(GetProcAddress(h, name), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
    }
    // Ordinals (small integers in place of a name) do not exist here.
    for (uintptr_t ordinal : {uintptr_t{0}, uintptr_t{1}, uintptr_t{0xFFFF}}) {
        SCOPED_TRACE(ordinal);
        SetLastError(kUnsetError);
        EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(ordinal)), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
    }
    EXPECT_TRUE(FreeLibrary(h));
}

TEST(Modules, ModuleStaysLoadedUntilEveryReferenceIsFreed) {
    const std::string path = testModule();
    HMODULE first = LoadLibraryA(path.c_str());
    ASSERT_NE(first, nullptr);
    HMODULE second = LoadLibraryA(path.c_str());
    EXPECT_EQ(second, first);
    auto initCount = procAs<int (*)()>(first, "QvtTestInitCount");
    ASSERT_NE(initCount, nullptr);
    EXPECT_EQ(initCount(), 1) << "initialisation must run once per load, not per reference";

    EXPECT_TRUE(FreeLibrary(first));
    ASSERT_TRUE(isLoaded(path));
    auto add = procAs<int (*)(int, int)>(second, "QvtTestAdd");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(40, 2), 42);

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(isLoaded(path));
    SetLastError(kUnsetError);
    EXPECT_FALSE(FreeLibrary(second)) << "the handle no longer names a module";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

TEST(Modules, ExecutableFileNameIsTheRunningProgram) {
    char *expected = realpath(program_invocation_name, nullptr);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(moduleFileName(NULL), expected);

    HMODULE self = NULL;
    ASSERT_TRUE(GetModuleHandleExA(0, nullptr, &self));
    EXPECT_NE(self, nullptr);
    EXPECT_EQ(moduleFileName(self), expected);
    EXPECT_TRUE(FreeLibrary(self));
    std::free(expected);
}

TEST(Modules, ModuleFileNameIsAbsoluteWhicheverPathLoadedIt) {
    const fs::path module = testModule();
    const std::string expected = fs::canonical(module).string();
    ScopedCurrentDir restore(module.parent_path());

    const std::string names[] = {
        module.string(),
        (module.parent_path() / "." / module.filename()).string(),
        "./" + module.filename().string(),
        "../" + module.parent_path().filename().string() + "/" + module.filename().string(),
    };
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        fs::current_path(module.parent_path());
        HMODULE h = LoadLibraryA(name.c_str());
        ASSERT_NE(h, nullptr);
        fs::current_path("/");  // the name must not depend on the current folder
        EXPECT_EQ(moduleFileName(h), expected);
        EXPECT_TRUE(FreeLibrary(h));
    }
}

TEST(Modules, TooSmallBufferGetsATerminatedPrefix) {
    HMODULE h = LoadLibraryA(testModule().c_str());
    ASSERT_NE(h, nullptr);
    const std::string path = moduleFileName(h);
    const DWORD length = DWORD(path.size());
    ASSERT_GT(length, 4u);

    struct Case {
        DWORD size;
        DWORD result;
        std::string text;  // what the buffer holds up to its terminator
        DWORD error;       // kUnsetError: left alone
    };
    const Case cases[] = {
        {length + 10, length, path, kUnsetError},
        {length + 1, length, path, kUnsetError},
        {length, length, path.substr(0, length - 1), ERROR_INSUFFICIENT_BUFFER},
        {3, 3, path.substr(0, 2), ERROR_INSUFFICIENT_BUFFER},
        {1, 1, "", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<char> buffer(length + 20, '#');
        SetLastError(kUnsetError);
        EXPECT_EQ(GetModuleFileNameA(h, buffer.data(), c.size), c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(std::string(buffer.data()), c.text);
        for (size_t i = c.size; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], '#') << "wrote past the buffer at " << i;
        }
    }

    char untouched = '#';
    SetLastError(kUnsetError);
    EXPECT_EQ(GetModuleFileNameA(h, &untouched, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(untouched, '#');

    SetLastError(kUnsetError);
    EXPECT_EQ(GetModuleFileNameA(h, nullptr, 10), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    FreeLibrary(h);
}

TEST(Modules, ModuleFindsItsOwnFileWithoutKeepingItselfLoaded) {
    const std::string path = testModule();
    HMODULE h = LoadLibraryA(path.c_str());
    ASSERT_NE(h, nullptr);
    auto ownPath = procAs<DWORD (*)(char *, DWORD)>(h, "QvtTestOwnPath");
    ASSERT_NE(ownPath, nullptr);
    char buffer[PATH_MAX];
    const DWORD n = ownPath(buffer, sizeof buffer);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(buffer, n), fs::canonical(path).string());

    // The lookup took no reference: one FreeLibrary unloads the module.
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(isLoaded(path));
}

TEST(Modules, HandleFromAddressTakesAReferenceUnlessToldNotTo) {
    const std::string path = testModule();
    HMODULE loaded = LoadLibraryA(path.c_str());
    ASSERT_NE(loaded, nullptr);
    const auto *data = procAs<const char *>(loaded, "qvt_test_data");
    ASSERT_NE(data, nullptr);

    HMODULE counted = NULL;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, data, &counted));
    EXPECT_EQ(counted, loaded);
    EXPECT_TRUE(FreeLibrary(loaded));
    EXPECT_TRUE(isLoaded(path)) << "the address lookup's reference keeps it";
    EXPECT_TRUE(FreeLibrary(counted));
    EXPECT_FALSE(isLoaded(path));
}

TEST(Modules, LibrariesLoadedAtStartUpAreModulesToo) {
    // The platform library itself: loaded with the program, never by name.
    HMODULE platform = NULL;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&GetLastError), &platform));
    const std::string path = moduleFileName(platform);
    EXPECT_EQ(fs::path(path).filename(), "libqvtplatform.so");
    EXPECT_EQ(path, fs::canonical(path).string());
    EXPECT_EQ(procAs<DWORD (*)(void)>(platform, "GetLastError"), &GetLastError);

    // A counted lookup is released again without unloading anything.
    HMODULE counted = NULL;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCSTR>(&SetLastError), &counted));
    EXPECT_EQ(counted, platform);
    EXPECT_TRUE(FreeLibrary(counted));
    EXPECT_EQ(procAs<void (*)(DWORD)>(platform, "SetLastError"), &SetLastError);
}

TEST(Modules, HandleLookupsThatCannotSucceedFail) {
    int onStack = 0;
    void *onHeap = std::malloc(16);
    struct Case {
        const char *what;
        DWORD flags;
        LPCSTR name;
        DWORD error;
    };
    const Case cases[] = {
        {"stack address", GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
         reinterpret_cast<LPCSTR>(&onStack), ERROR_MOD_NOT_FOUND},
        {"heap address", GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCSTR>(onHeap),
         ERROR_MOD_NOT_FOUND},
        {"null address", GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, ERROR_MOD_NOT_FOUND},
        {"module not loaded", 0, "/qvt/no/such/module.so", ERROR_MOD_NOT_FOUND},
        {"unknown flag", 0x100, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HMODULE h = reinterpret_cast<HMODULE>(&onStack);
        SetLastError(kUnsetError);
        EXPECT_FALSE(GetModuleHandleExA(c.flags, c.name, &h));
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetLastError(kUnsetError);
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    std::free(onHeap);
}

TEST(Modules, HandlesThatNameNoModuleAreRefused) {
    long notAModule[64] = {};
    const HMODULE bogus[] = {reinterpret_cast<HMODULE>(notAModule),
                             reinterpret_cast<HMODULE>(uintptr_t{0x1000})};
    for (HMODULE h : bogus) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(h));
        char buffer[64] = "unchanged";
        SetLastError(kUnsetError);
        EXPECT_EQ(GetModuleFileNameA(h, buffer, sizeof buffer), 0u);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
        EXPECT_STREQ(buffer, "unchanged");
        SetLastError(kUnsetError);
        EXPECT_EQ(GetProcAddress(h, "QvtTestAdd"), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
        SetLastError(kUnsetError);
        EXPECT_FALSE(FreeLibrary(h));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
    }
    SetLastError(kUnsetError);
    EXPECT_FALSE(FreeLibrary(NULL));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

// ---------------------------------------------------------------------------

namespace {

struct RecordedBox {
    int calls = 0;
    HWND owner = NULL;
    std::string text;
    std::string caption;
    UINT type = 0;
};

int recordBox(void *user, HWND owner, const char *text, const char *caption, UINT type) {
    auto *box = static_cast<RecordedBox *>(user);
    ++box->calls;
    box->owner = owner;
    box->text = text;
    box->caption = caption;
    box->type = type;
    return 7;
}

} // namespace

TEST(MessageBox, WithoutHandlerPrintsOneLineToStderrAndAnswersOk) {
    QvtSetMessageBoxHandler(nullptr, nullptr);
    struct Case {
        LPCSTR text;
        LPCSTR caption;
        const char *line;
    };
    const Case cases[] = {
        {"Not enough memory", "Transition", "Transition: Not enough memory\n"},
        {"", "Empty", "Empty: \n"},
        {nullptr, "No text", "No text: \n"},
        {"No caption", nullptr, "Error: No caption\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        testing::internal::CaptureStderr();
        const int answer = MessageBoxA(NULL, c.text, c.caption, MB_OK | MB_ICONERROR);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(answer, IDOK);
    }
}

TEST(MessageBox, HandlerSeesEveryArgumentAndChoosesTheAnswer) {
    RecordedBox box;
    const HWND owner = reinterpret_cast<HWND>(uintptr_t{0x1234});
    QvtSetMessageBoxHandler(recordBox, &box);
    testing::internal::CaptureStderr();

    EXPECT_EQ(MessageBoxA(owner, "Disk full", "Saving", MB_ICONWARNING | MB_TASKMODAL), 7);
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.text, "Disk full");
    EXPECT_EQ(box.caption, "Saving");
    EXPECT_EQ(box.type, UINT{MB_ICONWARNING | MB_TASKMODAL});

    // A handler never sees NULL strings: it gets what the box would show.
    EXPECT_EQ(MessageBoxA(NULL, nullptr, nullptr, MB_OK), 7);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "");
    EXPECT_EQ(box.caption, "Error");

    QvtSetMessageBoxHandler(nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a handled box is not also printed";
    EXPECT_EQ(box.calls, 2);

    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, "back", "Default", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Default: back\n");
    EXPECT_EQ(box.calls, 2) << "removing the handler restores the default";
}
