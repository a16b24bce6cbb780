// Fuzzes ParamsToTransition with the effect classes the module registers.
//
// An input whose first byte is below 0x80 is the record text itself. Any
// other input is a property list: the first byte picks the version and one of
// the registered classes, the rest is written out as hexadecimal digits
// behind the header, so that the fuzzer works on the reader's bytes rather
// than on their text.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "effects/teRegister.h"
#include "persist/qvtPers.h"

namespace {

std::vector<std::string_view> &RegisteredCodes() {
    static std::vector<std::string_view> codes;
    return codes;
}

void Decode(const char *text, size_t size) {
    std::unique_ptr<qvt::TTransitionEffect> effect;
    try {
        qvt::ParamsToTransition(effect, text, static_cast<int>(size));
        if (!effect) __builtin_trap(); // success must deliver an effect
    } catch (const qvt::rtl::Exception &e) {
        // Failures must leave no effect and carry a message; anything that
        // is not the library's exception escapes and stops the fuzzer.
        if (effect || e.Message().empty()) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    qvt::RegisterAllTransitions();
    for (const qvt::TTransitionCode &row : qvt::TransitionCodes())
        if (qvt::rtl::GetClass(row.ClassName)) RegisteredCodes().push_back(row.Code);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > INT_MAX / 4) return 0;
    if (size == 0 || data[0] < 0x80 || RegisteredCodes().empty()) {
        Decode(reinterpret_cast<const char *>(data), size);
        return 0;
    }
    const std::vector<std::string_view> &codes = RegisteredCodes();
    std::string record(qvt::kParamsSignature);
    record += (data[0] & 1) ? '2' : '1';
    record += codes[(data[0] >> 1) % codes.size()];
    for (size_t i = 1; i < size; ++i) {
        // Odd positions use lower-case digits, as records may.
        const char *set = (i & 1) ? "0123456789abcdef" : "0123456789ABCDEF";
        record += set[data[i] >> 4];
        record += set[data[i] & 15];
    }
    Decode(record.data(), record.size());
    return 0;
}
