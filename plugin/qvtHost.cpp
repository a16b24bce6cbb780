// Host callbacks, version check, error box and host strings.
#include "plugin/qvtHost.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace qvt::plugin {

HostState &Host() {
    static HostState state;
    return state;
}

std::string GetHostVariable(const char *name) {
    OvGetHostVariableProc get = Host().GetHostVariable;
    if (!get) return {};
    char *value = nullptr;
    get(name, &value);
    if (!value) return {};
    std::string result;
    try {
        result = value;
    } catch (...) {
        GlobalFree(value);
        throw;
    }
    GlobalFree(value);
    return result;
}

bool HostVersionAccepted(const std::string &version) {
    if (version.empty()) return false;
    const unsigned char first = static_cast<unsigned char>(version[0]);
    if (!std::isdigit(first)) return first >= '5';
    // The leading whole number, saturating so that long digit runs count as large.
    long major = 0;
    for (size_t i = 0; i < version.size() && std::isdigit(static_cast<unsigned char>(version[i])); ++i)
        major = std::min(major * 10 + (version[i] - '0'), 1000000L);
    return major >= 5;
}

void CheckHostVersion(const std::string &version) {
    HostState &host = Host();
    if (host.VersionChecked) return;
    // Set before the test: a failed check is not repeated.
    host.VersionChecked = true;
    if (!HostVersionAccepted(version)) throw rtl::Exception(kVersionMessage);
}

void ShowPluginError(HWND owner, const std::string &message) {
    MessageBoxA(owner, message.c_str(), kErrorCaption, MB_OK);
}

void SetHostString(char **variable, const char *text) {
    if (!variable) return;
    if (*variable) GlobalFree(*variable);
    *variable = nullptr;
    size_t n = std::strlen(text) + 1;
    auto *block = static_cast<char *>(GlobalAlloc(GMEM_FIXED, n));
    if (!block) return;
    std::memcpy(block, text, n);
    *variable = block;
}

} // namespace qvt::plugin
