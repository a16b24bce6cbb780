// Decoding of effect parameter records.
#include "persist/qvtPers.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qvt {

namespace {

// The record format's code table: the effect list in code order.
const std::vector<TTransitionCode> &codeTable() {
    static const std::vector<TTransitionCode> table = [] {
        std::vector<TTransitionCode> rows;
        for (const TTransitionListEntry &e : TransitionList())
            if (!e.Code.empty()) rows.push_back({e.Code, e.ShortName, e.ClassName});
        std::sort(rows.begin(), rows.end(), [](const auto &x, const auto &y) { return x.Code < y.Code; });
        return rows;
    }();
    return table;
}

// The payload's hexadecimal pairs as bytes, appended to out.
void DecodeHex(rtl::TStream &text, rtl::TStream &out) {
    std::string pair = "$00";
    while (text.Remaining() > 0) {
        // A lone last character fails here with "Stream read error".
        text.ReadBuffer(pair.data() + 1, 2);
        const uint8_t byte = static_cast<uint8_t>(rtl::StrToInt(pair));
        out.WriteBuffer(&byte, 1);
    }
}

} // namespace

std::span<const TTransitionCode> TransitionCodes() { return codeTable(); }

const TTransitionCode *FindTransitionCode(std::string_view code) {
    for (const TTransitionCode &row : codeTable())
        if (row.Code == code) return &row;
    return nullptr;
}

const TTransitionCode *FindTransitionCodeOfClass(std::string_view className) {
    for (const TTransitionCode &row : codeTable())
        if (row.ClassName == className) return &row;
    return nullptr;
}

void ParamsToTransition(std::unique_ptr<TTransitionEffect> &effect, const char *params, int length) {
    if (!params || length < kParamsHeaderLength) {
        effect = CreateTransition(kDefaultTransitionClass);
        rtl::SetOrdProp(*effect, "Milliseconds", kDefaultMilliseconds);
        return;
    }

    rtl::TReadOnlyMemoryStream text(params, static_cast<size_t>(length));
    effect.reset();

    char signature[4];
    text.ReadBuffer(signature, sizeof signature);
    if (std::string_view(signature, sizeof signature) != kParamsSignature)
        throw ETransitionEffectError("Wrong signature");

    char version;
    text.ReadBuffer(&version, 1);
    if (version != '1' && version != '2')
        throw ETransitionEffectError(rtl::Format("%s '%s'", {"Wrong format version", std::string_view(&version, 1)}));

    char code[2];
    text.ReadBuffer(code, sizeof code);
    const TTransitionCode *row = FindTransitionCode(std::string_view(code, sizeof code));
    if (!row)
        throw ETransitionEffectError(rtl::Format("Transition '%s' not found", {std::string_view(code, sizeof code)}));

    effect = CreateTransition(row->ClassName);
    try {
        rtl::TMemoryStream bytes;
        if (version == '2') bytes.WriteBuffer(kMillisecondsPrefix, sizeof kMillisecondsPrefix);
        DecodeHex(text, bytes);
        bytes.SetPosition(0);

        TTransitionReader reader(bytes);
        while (!reader.EndOfList()) reader.ReadProperty(*effect);
        reader.ReadListEnd();
    } catch (...) {
        effect.reset();
        throw;
    }
}

} // namespace qvt
