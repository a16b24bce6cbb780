// Exceptions, the message formatter and the integer conversions.
#include "qvt/rtl/exceptions.h"

#include <cctype>

namespace qvt::rtl {

void Abort() { throw EAbort(); }

namespace {

[[noreturn]] void FormatError(std::string_view format) {
    throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

std::string Hex(uint64_t v, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[v & 15]);
        v >>= 4;
    } while (v != 0);
    if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<size_t>(digits - static_cast<int>(out.size())), '0');
    return out;
}

} // namespace

std::string Format(std::string_view format, std::initializer_list<FormatValue> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i == format.size()) FormatError(format);
        const char d = format[i];
        if (d == '%') {
            out += '%';
            continue;
        }
        if (next == args.end()) FormatError(format);
        const FormatArg &arg = (next++)->value;
        switch (d) {
        case 's':
            if (!std::holds_alternative<std::string_view>(arg)) FormatError(format);
            out += std::get<std::string_view>(arg);
            break;
        case 'd':
        case 'u':
            if (const auto *s = std::get_if<int64_t>(&arg))
                out += std::to_string(*s);
            else if (const auto *u = std::get_if<uint64_t>(&arg))
                out += std::to_string(*u);
            else
                FormatError(format);
            break;
        case 'x':
            if (const auto *s = std::get_if<int64_t>(&arg))
                out += Hex(static_cast<uint64_t>(*s), 1);
            else if (const auto *u = std::get_if<uint64_t>(&arg))
                out += Hex(*u, 1);
            else
                FormatError(format);
            break;
        default: FormatError(format);
        }
    }
    return out;
}

bool TryStrToInt(std::string_view text, int32_t &value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const bool hex = i < text.size() && text[i] == '$';
    if (hex) ++i;
    if (i == text.size()) return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && std::isxdigit(c))
            digit = static_cast<unsigned>(std::toupper(c) - 'A' + 10);
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        // Hexadecimal may use all 32 bits; decimal must fit an Integer.
        const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
        if (magnitude > limit) return false;
    }
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t v = 0;
    if (!TryStrToInt(text, v)) throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return v;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    int32_t v = 0;
    return TryStrToInt(text, v) ? v : fallback;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) { return Hex(static_cast<uint64_t>(value), digits); }

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

} // namespace qvt::rtl
