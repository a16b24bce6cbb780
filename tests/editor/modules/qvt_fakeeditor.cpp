// A stand-in editor module for the bridge tests. Copied into a folder as
// qvtEd.htd next to a copy of the plug-in, it writes every call it receives,
// with its arguments, to "calls.log" in its own folder, and behaves as the
// file "mode" there says:
//   accept:<record>          ShowEditor stores <record> and returns TRUE
//   refuse                   ShowEditor returns FALSE
//   accept-without-record    ShowEditor returns TRUE and stores nothing
//   record-but-refuse:<rec>  ShowEditor stores <rec> but returns FALSE
//   return-given             ShowEditor hands back the block it was given
//   about:<0|1>              ShowAbout returns FALSE or TRUE
// Built with FAKE_INIT_ONLY it exports DllInitialize alone.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "qvt/qvteditor.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char kAnchor = 0;

std::string Folder() {
    HMODULE self = nullptr;
    char path[4096] = "";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           &kAnchor, &self))
        GetModuleFileNameA(self, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.rfind('/'));
}

void Log(const std::string &line) {
    std::ofstream out(Folder() + "/calls.log", std::ios::app);
    out << line << "\n";
}

template <class T> std::string N(T value) {
    if constexpr (std::is_pointer_v<T>)
        return std::to_string(reinterpret_cast<uintptr_t>(value));
    else
        return std::to_string(value);
}

#ifndef FAKE_INIT_ONLY

std::string Mode() {
    std::ifstream in(Folder() + "/mode");
    std::string mode;
    std::getline(in, mode);
    return mode;
}

// The text after "name:" when the mode starts with it.
bool ModeIs(const std::string &mode, const std::string &name, std::string *argument = nullptr) {
    if (mode.compare(0, name.size(), name) != 0) return false;
    if (argument) *argument = mode.size() > name.size() + 1 ? mode.substr(name.size() + 1) : "";
    return mode.size() == name.size() || mode[name.size()] == ':';
}

char *Block(const std::string &text) {
    auto *block = static_cast<char *>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    Log("block " + N(block));
    return block;
}

#endif

} // namespace

FAKE_EXPORT BOOL DllInitialize(OvGetHostVariableProc getHostVariable, intptr_t r1, intptr_t r2,
                               intptr_t interfaceAccess, intptr_t r4, intptr_t r5,
                               OvRegisterEffectProc hostRegisterEffect, OvStreamAccessProc streamAccess,
                               HWND hostWindow) {
    Log("DllInitialize " + N(reinterpret_cast<void *>(getHostVariable)) + " " + N(r1) + " " + N(r2) + " " +
        N(interfaceAccess) + " " + N(r4) + " " + N(r5) + " " + N(reinterpret_cast<void *>(hostRegisterEffect)) + " " +
        N(reinterpret_cast<void *>(streamAccess)) + " " + N(hostWindow));
    return TRUE;
}

#ifndef FAKE_INIT_ONLY

FAKE_EXPORT BOOL ShowEditor(HWND hostWindow, const char *params, char **newParams, intptr_t length, int32_t *reserved,
                            intptr_t interfaceAccess) {
    Log("ShowEditor " + N(hostWindow) + " [" + std::string(params ? params : "", params ? length : 0) + "] " +
        N(length) + " " + (newParams && !*newParams ? "place" : "noplace") + " " +
        (reserved ? "reserved" : "noreserved") + " " + N(interfaceAccess));
    const std::string mode = Mode();
    std::string record;
    if (ModeIs(mode, "accept", &record)) {
        *newParams = Block(record);
        return TRUE;
    }
    if (ModeIs(mode, "accept-without-record")) return TRUE;
    if (ModeIs(mode, "return-given")) {
        *newParams = const_cast<char *>(params);
        return TRUE;
    }
    if (ModeIs(mode, "record-but-refuse", &record)) {
        *newParams = Block(record);
        return FALSE;
    }
    return FALSE;
}

FAKE_EXPORT BOOL ShowAbout(HWND hostWindow) {
    Log("ShowAbout " + N(hostWindow));
    return Mode() == "about:0" ? FALSE : TRUE;
}

#endif
