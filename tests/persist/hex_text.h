// The hexadecimal text of bytes, as parameter records carry them. Standalone
// (no test framework, no probe classes) so that any test can include it.
#ifndef QVT_TEST_HEX_TEXT_H
#define QVT_TEST_HEX_TEXT_H

#include <cstdint>
#include <string>
#include <vector>

namespace qvt::test {

// The hexadecimal text of bytes (upper case, no separators).
inline std::string Hex(const std::vector<uint8_t> &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

} // namespace qvt::test

#endif
