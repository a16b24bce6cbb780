// The shared pseudo-random generator.
#include "engine/teRandom.h"

#include <windows.h>

namespace qvt {

uint32_t RandSeed = 0;

int32_t NextRandom(int32_t range) {
    RandSeed = RandSeed * 134775813u + 1u;
    // The high half of the 64-bit product scales the seed onto
    // 0 .. range - 1.
    return static_cast<int32_t>((uint64_t{RandSeed} * static_cast<uint32_t>(range)) >> 32);
}

void ReseedRandom() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    RandSeed = ((uint32_t{t.wHour} * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

} // namespace qvt
