// Integer and floating-point conventions of the original code, which was
// compiled without range or overflow checks: Integer arithmetic wraps modulo
// 2^32, `shr` is a logical shift of the 32-bit value even for signed
// operands, and Round sends halves to the even neighbour.
#ifndef QVT_RTL_ARITH_H
#define QVT_RTL_ARITH_H

#include <concepts>
#include <cstdint>
#include <type_traits>

namespace qvt::rtl {

// An operand narrower than 32 bits is first widened to Integer (sign-extended
// when signed); a 32-bit unsigned operand stays Cardinal.
template <std::integral T>
    requires(sizeof(T) <= 4)
using ShiftResult = std::conditional_t<std::is_same_v<T, uint32_t>, uint32_t, int32_t>;

template <std::integral T>
    requires(sizeof(T) <= 4)
constexpr uint32_t Bits32(T a) {
    if constexpr (std::is_signed_v<T>)
        return static_cast<uint32_t>(static_cast<int32_t>(a));
    else
        return static_cast<uint32_t>(a);
}

// a shr n: logical shift of the 32-bit value, count taken mod 32.
// Shr(-8, 1) == 0x7FFFFFFC; Shr(int16_t(-2), 1) == 0x7FFFFFFF.
template <std::integral T>
    requires(sizeof(T) <= 4)
constexpr ShiftResult<T> Shr(T a, int n) {
    return static_cast<ShiftResult<T>>(Bits32(a) >> (static_cast<unsigned>(n) & 31u));
}

// a shl n: 32-bit shift, count mod 32, bits shifted out are lost.
template <std::integral T>
    requires(sizeof(T) <= 4)
constexpr ShiftResult<T> Shl(T a, int n) {
    return static_cast<ShiftResult<T>>(Bits32(a) << (static_cast<unsigned>(n) & 31u));
}

// Integer arithmetic that wraps modulo 2^32 instead of overflowing.
constexpr int32_t AddWrap(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
constexpr int32_t SubWrap(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
constexpr int32_t MulWrap(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
constexpr int32_t NegWrap(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// Upper 32 bits of the 64-bit product of two 32-bit values.
constexpr uint32_t MulHigh32(uint32_t a, uint32_t b) {
    return static_cast<uint32_t>((static_cast<uint64_t>(a) * b) >> 32);
}

// a div b and a mod b: truncate toward zero, mod takes the sign of a.
// Division by zero raises EDivByZero; MinInt div -1 raises EIntOverflow.
int32_t Div(int32_t a, int32_t b);
int32_t Mod(int32_t a, int32_t b);

// Nearest integer, halves to even: Round(2.5) == 2, Round(-2.5) == -2,
// Round(1.5) == 2. Independent of the floating-point rounding mode.
// NaN, infinities and values outside Int64 raise EInvalidOp.
int64_t Round(double x);
// Toward zero; NaN, infinities and values outside Int64 raise EInvalidOp.
int64_t Trunc(double x);

} // namespace qvt::rtl

#endif
