// Kernel services: the per-thread last-error code, fixed global memory blocks
// and run-time loaded modules on top of the system's dynamic loader.
//
// A module handle is the loader's handle for it (what dlopen returns; with
// the GNU loader that is the module's link_map). Every call that takes a
// handle first checks that it names a module the loader has loaded now, so a
// stale or made-up handle fails instead of reaching the loader.

#include "qvt/winbase.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

// ---------------------------------------------------------------------------
// Last error

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

WINBASEAPI DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

// ---------------------------------------------------------------------------
// Global memory
//
// Live blocks are remembered so that GlobalFree can refuse a pointer it never
// handed out (or already took back) instead of corrupting the heap.

namespace {

struct BlockRegistry {
    std::mutex mutex;
    std::unordered_set<void *> blocks;
};

// Never destroyed: modules may free blocks from their own exit-time code.
BlockRegistry &blockRegistry() {
    static BlockRegistry *registry = new BlockRegistry;
    return *registry;
}

} // namespace

WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if ((uFlags & ~static_cast<UINT>(GMEM_ZEROINIT)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    // No object may exceed half the address space; refusing here also keeps
    // absurd sizes away from allocators that abort on them.
    if (dwBytes > static_cast<SIZE_T>(PTRDIFF_MAX)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    const size_t bytes = dwBytes != 0 ? dwBytes : 1;
    void *block = (uFlags & GMEM_ZEROINIT) ? std::calloc(1, bytes) : std::malloc(bytes);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    try {
        BlockRegistry &registry = blockRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.blocks.insert(block);
    } catch (const std::bad_alloc &) {
        std::free(block);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return block;
}

WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (hMem == NULL) {
        return NULL;
    }
    {
        BlockRegistry &registry = blockRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (registry.blocks.erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return NULL;
}

// ---------------------------------------------------------------------------
// Modules

namespace {

// The loader's handle for the executable. It is never unloaded, so one
// reference taken here stays valid for the life of the process.
void *executableHandle() {
    static void *const handle = dlopen(nullptr, RTLD_LAZY);
    return handle;
}

link_map *executableMap() {
    static link_map *const map = [] {
        link_map *lm = nullptr;
        void *handle = executableHandle();
        if (handle == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &lm) != 0) {
            return static_cast<link_map *>(nullptr);
        }
        return lm;
    }();
    return map;
}

struct ModuleLookup {
    const void *handle = nullptr;
    bool found = false;
    bool isExecutable = false;
    std::string name;  // the loader's name for the module
    bool nameLost = false;
};

// dl_iterate_phdr holds the loader's list lock while it calls back, so the
// list of loaded modules can be walked here without racing dlopen/dlclose.
// Only the first call is needed: it walks the whole list and stops.
int walkLoadedModules(dl_phdr_info *, size_t, void *data) {
    auto *lookup = static_cast<ModuleLookup *>(data);
    link_map *head = executableMap();
    while (head != nullptr && head->l_prev != nullptr) {
        head = head->l_prev;
    }
    for (link_map *lm = head; lm != nullptr; lm = lm->l_next) {
        if (lm != lookup->handle) {
            continue;
        }
        lookup->found = true;
        lookup->isExecutable = lm == executableMap();
        try {
            lookup->name = lm->l_name != nullptr ? lm->l_name : "";
        } catch (const std::bad_alloc &) {
            lookup->nameLost = true;
        }
        break;
    }
    return 1;
}

// Whether handle names a module that is loaded now; fills in its name.
bool findLoadedModule(const void *handle, ModuleLookup &lookup) {
    if (handle == nullptr || executableMap() == nullptr) {
        return false;
    }
    lookup.handle = handle;
    dl_iterate_phdr(walkLoadedModules, &lookup);
    return lookup.found && !lookup.nameLost;
}

std::string executablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string canonicalPath(const char *path) {
    char *resolved = realpath(path, nullptr);
    if (resolved == nullptr) {
        return std::string();
    }
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// Absolute path of a loaded module, or empty when it has no file.
std::string modulePath(const ModuleLookup &lookup) {
    if (lookup.isExecutable) {
        return executablePath();
    }
    if (lookup.name.empty()) {
        return std::string();
    }
    std::string path = canonicalPath(lookup.name.c_str());
    return path.empty() ? lookup.name : path;
}

// ELF identification of the running program: a module must match its class,
// byte order and machine to be loadable.
struct ElfIdentity {
    bool known = false;
    unsigned char elfClass = 0;
    unsigned char data = 0;
    uint16_t machine = 0;
};

bool readElfIdentity(int fd, ElfIdentity &id, uint16_t &type) {
    // e_type and e_machine sit at the same offsets in 32- and 64-bit headers.
    unsigned char header[20];
    ssize_t got = 0;
    while (got < static_cast<ssize_t>(sizeof header)) {
        const ssize_t n = read(fd, header + got, sizeof header - static_cast<size_t>(got));
        if (n <= 0) {
            return false;
        }
        got += n;
    }
    if (std::memcmp(header, ELFMAG, SELFMAG) != 0) {
        return false;
    }
    id.elfClass = header[EI_CLASS];
    id.data = header[EI_DATA];
    const bool little = id.data == ELFDATA2LSB;
    if (!little && id.data != ELFDATA2MSB) {
        return false;
    }
    auto half = [&](size_t at) {
        return static_cast<uint16_t>(little ? header[at] | header[at + 1] << 8
                                            : header[at] << 8 | header[at + 1]);
    };
    type = half(16);
    id.machine = half(18);
    id.known = true;
    return true;
}

const ElfIdentity &runningIdentity() {
    static const ElfIdentity identity = [] {
        ElfIdentity id;
        const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            uint16_t type = 0;
            if (!readElfIdentity(fd, id, type)) {
                id = ElfIdentity();
            }
            close(fd);
        }
        return id;
    }();
    return identity;
}

// Checks that a file is a shared object this process can map; returns the
// error to report, or ERROR_SUCCESS.
DWORD checkModuleFile(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return ERROR_MOD_NOT_FOUND;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ERROR_MOD_NOT_FOUND;
    }
    ElfIdentity id;
    uint16_t type = 0;
    const bool isElf = readElfIdentity(fd, id, type);
    close(fd);
    if (!isElf || type != ET_DYN) {
        return ERROR_BAD_EXE_FORMAT;
    }
    const ElfIdentity &self = runningIdentity();
    if (self.known &&
        (id.elfClass != self.elfClass || id.data != self.data || id.machine != self.machine)) {
        return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_SUCCESS;
}

// Maps the loader's explanation of a failed load to a last-error code.
DWORD errorFromLoaderMessage(const char *message) {
    if (message == nullptr) {
        return ERROR_MOD_NOT_FOUND;
    }
    if (std::strstr(message, "undefined symbol") != nullptr ||
        std::strstr(message, "symbol lookup error") != nullptr) {
        return ERROR_PROC_NOT_FOUND;  // an import nothing provides
    }
    static const char *const badFormat[] = {"invalid ELF header", "wrong ELF class",
                                            "file too short", "cannot dlopen this object",
                                            "ELF file"};
    for (const char *text : badFormat) {
        if (std::strstr(message, text) != nullptr) {
            return ERROR_BAD_EXE_FORMAT;
        }
    }
    return ERROR_MOD_NOT_FOUND;
}

// The name to hand to the loader: paths are made absolute (so the module
// remembers where it came from whatever the current folder becomes later),
// bare names are left for the loader's search. Empty when a path does not
// exist.
std::string loaderName(const char *name) {
    if (std::strchr(name, '/') == nullptr) {
        return std::string(name);
    }
    return canonicalPath(name);
}

} // namespace

WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    try {
        const std::string name = *lpLibFileName != '\0' ? loaderName(lpLibFileName) : "";
        if (name.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return NULL;
        }
        if (name.front() == '/') {
            const DWORD error = checkModuleFile(name);
            if (error != ERROR_SUCCESS) {
                SetLastError(error);
                return NULL;
            }
        }
        void *handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            SetLastError(errorFromLoaderMessage(dlerror()));
            return NULL;
        }
        return static_cast<HMODULE>(handle);
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
}

WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    void *handle = hModule != NULL ? static_cast<void *>(hModule) : executableHandle();
    try {
        ModuleLookup lookup;
        if (!findLoadedModule(handle, lookup)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return NULL;
        }
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    // Values below 0x10000 are export ordinals, which shared objects lack.
    if (reinterpret_cast<uintptr_t>(lpProcName) <= 0xFFFF) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    dlerror();
    void *symbol = dlsym(handle, lpProcName);
    if (symbol == nullptr) {
        dlerror();
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    // dlsym also searches the module's dependencies; an export table holds
    // only the module's own functions.
    Dl_info info;
    void *owner = nullptr;
    if (dladdr1(symbol, &info, &owner, RTLD_DL_LINKMAP) == 0 || owner != handle) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    try {
        ModuleLookup lookup;
        if (!findLoadedModule(hLibModule, lookup)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (dlclose(hLibModule) != 0) {
        dlerror();
        SetLastError(ERROR_MOD_NOT_FOUND);  // a module nobody holds a reference to
        return FALSE;
    }
    return TRUE;
}

WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (lpFilename == nullptr && nSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::string path;
        if (hModule == NULL) {
            path = executablePath();
        } else {
            ModuleLookup lookup;
            if (!findLoadedModule(hModule, lookup)) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return 0;
            }
            path = modulePath(lookup);
        }
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        if (path.size() < nSize) {
            std::memcpy(lpFilename, path.c_str(), path.size() + 1);
            return static_cast<DWORD>(path.size());
        }
        // Too small: cut to nSize characters counting the terminator, which
        // is always written (a caller can print the result safely).
        if (nSize != 0) {
            std::memcpy(lpFilename, path.data(), nSize - 1);
            lpFilename[nSize - 1] = '\0';
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

WINBASEAPI BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE *phModule) {
    if (phModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = NULL;
    const DWORD known =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if ((dwFlags & ~known) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    void *handle = nullptr;
    try {
        if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
            Dl_info info;
            link_map *map = nullptr;
            if (dladdr1(lpModuleName, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) ==
                    0 ||
                map == nullptr) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return FALSE;
            }
            // Opening a loaded module by its loader name yields its handle
            // and one more reference, without loading anything.
            handle = map == executableMap() ? dlopen(nullptr, RTLD_LAZY)
                                            : dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD);
        } else if (lpModuleName == nullptr) {
            handle = dlopen(nullptr, RTLD_LAZY);
        } else {
            const std::string name = loaderName(lpModuleName);
            if (!name.empty()) {
                handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
            }
        }
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (handle == nullptr) {
        dlerror();
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) {
        dlclose(handle);  // the module is still held by whoever loaded it
    }
    *phModule = static_cast<HMODULE>(handle);
    return TRUE;
}
