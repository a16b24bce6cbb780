// Division and floating-point to integer conversions with the original's
// error behaviour.
#include "qvt/rtl/arith.h"

#include <cmath>
#include <limits>

#include "qvt/rtl/exceptions.h"

namespace qvt::rtl {

namespace {

void CheckDivision(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero();
    if (a == std::numeric_limits<int32_t>::min() && b == -1) throw EIntOverflow();
}

// Whether x converts to Int64 without overflow: [-2^63, 2^63).
bool FitsInt64(double x) { return x >= -9223372036854775808.0 && x < 9223372036854775808.0; }

} // namespace

int32_t Div(int32_t a, int32_t b) {
    CheckDivision(a, b);
    return a / b;
}

int32_t Mod(int32_t a, int32_t b) {
    CheckDivision(a, b);
    return a % b;
}

int64_t Round(double x) {
    if (!std::isfinite(x)) throw EInvalidOp();
    // floor and the difference are exact for every double, so the tie test
    // does not depend on the current rounding mode.
    double r = std::floor(x);
    const double diff = x - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (!FitsInt64(r)) throw EInvalidOp();
    return static_cast<int64_t>(r);
}

int64_t Trunc(double x) {
    if (!std::isfinite(x)) throw EInvalidOp();
    const double t = std::trunc(x);
    if (!FitsInt64(t)) throw EInvalidOp();
    return static_cast<int64_t>(t);
}

} // namespace qvt::rtl
