// A module that the module-loading tests load at run time, standing in for a
// plug-in: it exports plain functions, counts how often its initialisation
// ran, and finds its own file the way a plug-in locates the folder it was
// installed in.

#include "qvt/winbase.h"

#define TESTMOD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_initCount = 0;

__attribute__((constructor)) void onLoad() {
    ++g_initCount;
}

// Any function inside the module serves as an address to look it up by.
DWORD ownPath(char *buffer, DWORD size) {
    HMODULE self = NULL;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ownPath), &self)) {
        return 0;
    }
    return GetModuleFileNameA(self, buffer, size);
}

} // namespace

TESTMOD_EXPORT int QvtTestAdd(int a, int b) {
    return a + b;
}

TESTMOD_EXPORT int QvtTestInitCount(void) {
    return g_initCount;
}

TESTMOD_EXPORT DWORD QvtTestOwnPath(char *buffer, DWORD size) {
    return ownPath(buffer, size);
}

// Something for the tests to ask the module's handle for by address.
extern "C" {
__attribute__((visibility("default"))) int qvt_test_data = 42;
}
