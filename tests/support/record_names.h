// Parameter records with one stored name changed: how a test makes the
// record of a value that the class's setter refuses (a direction the effect
// does not take), which the writer itself would never produce.
#ifndef QVT_TEST_RECORD_NAMES_H
#define QVT_TEST_RECORD_NAMES_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "persist/qvtPers.h"

namespace qvt::test {

// A short string as a property stream stores it, in a record's hex text:
// its length byte, then its characters.
inline std::string HexName(std::string_view name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : std::string(1, static_cast<char>(name.size())) + std::string(name))
        hex += digits[c >> 4], hex += digits[c & 15];
    return hex;
}

// The effect `record` decodes to once the name `from` in it is `to`.
inline std::unique_ptr<TTransitionEffect> DecodeWithName(std::string record, std::string_view from,
                                                         std::string_view to) {
    const std::string was = HexName(from);
    const size_t at = record.find(was);
    EXPECT_NE(at, std::string::npos) << record << " holds no " << from;
    if (at != std::string::npos) record.replace(at, was.size(), HexName(to));
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    return effect;
}

} // namespace qvt::test

#endif
