// The module's one pseudo-random generator, shared by every effect: effects
// that need a repeatable pattern set its seed themselves, so the order in
// which effects draw numbers is part of what they show.
#ifndef QVT_ENGINE_TERANDOM_H
#define QVT_ENGINE_TERANDOM_H

#include <cstdint>

namespace qvt {

// The generator's state; 0 when the module loads.
extern uint32_t RandSeed;

// seed := seed * 134775813 + 1 (mod 2^32); the result is the high 32 bits of
// seed * range, an integer from 0 to range - 1 (0 when range is 0; effects
// never pass a negative range).
int32_t NextRandom(int32_t range);

// Seeds the generator from the time of day (UTC): milliseconds since
// midnight.
void ReseedRandom();

} // namespace qvt

#endif
