// The effect parameter record: the short text that stores one configured
// effect, and its decoding into an effect object.
//
// A record is "QVTS", a version character ("1" or "2"), a two-digit class
// code and then the effect's property list in the component-property binary
// format, each byte written as two hexadecimal digits. Version "2" leaves
// out the 14 bytes that open every list: the name "Milliseconds" and the
// type byte of a 16-bit integer.
#ifndef QVT_PERSIST_QVTPERS_H
#define QVT_PERSIST_QVTPERS_H

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "engine/TransEff.h"
#include "qvt/rtl/reader.h"

namespace qvt {

inline constexpr std::string_view kParamsSignature = "QVTS";
// A record shorter than this (the header) stands for the default effect.
inline constexpr int kParamsHeaderLength = 7;
// The default effect: an alpha blend of this duration.
inline constexpr int32_t kDefaultMilliseconds = 1000;
// What a version "2" record leaves out: 0C 'Milliseconds' 03.
inline constexpr uint8_t kMillisecondsPrefix[14] = {0x0C, 'M', 'i', 'l', 'l', 'i', 's', 'e',
                                                    'c',  'o', 'n', 'd', 's', 0x03};

// One row of the class-code table.
struct TTransitionCode {
    std::string_view Code;      // two decimal digits, "01" .. "14"
    std::string_view ShortName; // the editor's name of the effect
    std::string_view ClassName; // the registered class
};

// The table in code order.
std::span<const TTransitionCode> TransitionCodes();
// Exact comparison of the two characters; nullptr when no row matches.
const TTransitionCode *FindTransitionCode(std::string_view code);
// The row of a class (exact name); nullptr when the class has no code.
const TTransitionCode *FindTransitionCodeOfClass(std::string_view className);
// The class name of the default effect.
inline constexpr std::string_view kDefaultTransitionClass = "TBlendTransition";

// The reader the records are read with.
class TTransitionReader : public rtl::TReader {
public:
    static constexpr int kBufferSize = 1024;
    explicit TTransitionReader(rtl::TStream &stream) : TReader(stream, kBufferSize) {}
};

// Builds the effect a record describes. params points to length characters
// (read in place; no terminator needed). A missing record or one shorter
// than the header gives the default effect. Otherwise whatever effect held
// is freed first; on success it holds a new effect with no owner, on any
// error it is left empty and the exception travels on.
void ParamsToTransition(std::unique_ptr<TTransitionEffect> &effect, const char *params, int length);

} // namespace qvt

#endif
