// Writing property lists and parameter records.
#include "persist/qvtWriter.h"

#include <bit>
#include <climits>
#include <cstring>
#include <string_view>

#include "persist/qvtPers.h"
#include "qvt/rtl/reader.h"

namespace qvt {

using rtl::TPersistent;
using rtl::TPropInfo;
using rtl::TTypeKind;

namespace {

class PropertyListWriter {
public:
    std::vector<uint8_t> Take() { return std::move(out_); }

    // Published properties, then the defined ones, all under prefix.
    void WriteProperties(TPersistent &object, const std::string &prefix) {
        for (const TPropInfo *prop : object.ClassInfo().Properties()) WriteProperty(object, *prop, prefix);
        rtl::ForEachDefinedProperty(object, [&](std::string_view name, const rtl::TFiler::BinaryProc &writeData) {
            rtl::TMemoryStream data;
            writeData(data);
            if (data.Size() > UINT32_MAX)
                throw ETransitionEffectError("Property " + prefix + std::string(name) + " is too large to store");
            WriteName(prefix + std::string(name));
            Byte(rtl::vaBinary);
            LE(static_cast<uint32_t>(data.Size()), 4);
            Bytes(data.Memory(), static_cast<size_t>(data.Size()));
        });
    }

    void EndList() { Byte(rtl::vaNull); }

private:
    void WriteProperty(TPersistent &object, const TPropInfo &prop, const std::string &prefix) {
        if (!prop.Stored) return;
        if (prop.Kind == TTypeKind::Class) {
            // A held object is written as its own properties; components are
            // references, which records do not carry.
            TPersistent *inner = prop.GetObject(object);
            if (inner && !dynamic_cast<rtl::TComponent *>(inner)) WriteProperties(*inner, prefix + prop.Name + ".");
            return;
        }
        if (prop.IsReadOnly()) return;
        const std::string name = prefix + prop.Name;
        switch (prop.Kind) {
        case TTypeKind::Integer: {
            const int64_t value = prop.GetOrd(object);
            if (IsDefault(prop, value)) return;
            WriteName(name);
            // Four-byte values travel as Integer; an unsigned one above
            // 0x7FFFFFFF wraps and is widened back by the reader.
            WriteInteger(static_cast<int32_t>(static_cast<uint32_t>(value)));
            return;
        }
        case TTypeKind::Enumeration: {
            const int64_t value = prop.GetOrd(object);
            if (IsDefault(prop, value)) return;
            if (prop.IsBoolean()) {
                WriteName(name);
                Byte(value ? rtl::vaTrue : rtl::vaFalse);
                return;
            }
            const std::string valueName = rtl::GetEnumName(prop, value);
            if (valueName.empty()) throw NoName(name, value, prop);
            WriteName(name);
            Byte(rtl::vaIdent);
            ShortString(valueName);
            return;
        }
        case TTypeKind::Set: {
            const int64_t value = prop.GetOrd(object);
            if (IsDefault(prop, value)) return;
            const auto mask = static_cast<uint64_t>(value);
            if (prop.EnumNames.size() < 64 && (mask >> prop.EnumNames.size()) != 0) throw NoName(name, value, prop);
            WriteName(name);
            Byte(rtl::vaSet);
            for (size_t i = 0; i < prop.EnumNames.size(); ++i)
                if ((mask >> i) & 1u) ShortString(prop.EnumNames[i]);
            Byte(0);
            return;
        }
        case TTypeKind::String: {
            const std::string value = prop.GetStr(object);
            if (value.empty()) return;
            WriteName(name);
            if (value.size() <= 255) {
                Byte(rtl::vaString);
                ShortString(value);
            } else {
                if (value.size() > UINT32_MAX)
                    throw ETransitionEffectError("Property " + name + " is too long to store");
                Byte(rtl::vaLString);
                LE(static_cast<uint32_t>(value.size()), 4);
                Bytes(value.data(), value.size());
            }
            return;
        }
        case TTypeKind::Float: {
            const double value = prop.GetFloat(object);
            if (value == 0) return;
            WriteName(name);
            Byte(rtl::vaExtended);
            uint8_t ext[10];
            DoubleToExtended(value, ext);
            Bytes(ext, sizeof ext);
            return;
        }
        case TTypeKind::Class: return;
        }
    }

    static bool IsDefault(const TPropInfo &prop, int64_t value) {
        return prop.Default && prop.NarrowOrd(*prop.Default) == value;
    }

    static ETransitionEffectError NoName(const std::string &name, int64_t value, const TPropInfo &prop) {
        std::string names;
        for (std::string_view n : prop.EnumNames) names += (names.empty() ? "" : ", ") + std::string(n);
        return ETransitionEffectError(rtl::Format("%s holds %d, which is none of %s", {name, value, names}));
    }

    void WriteInteger(int32_t value) {
        if (value >= INT8_MIN && value <= INT8_MAX) {
            Byte(rtl::vaInt8);
            LE(static_cast<uint8_t>(value), 1);
        } else if (value >= INT16_MIN && value <= INT16_MAX) {
            Byte(rtl::vaInt16);
            LE(static_cast<uint16_t>(value), 2);
        } else {
            Byte(rtl::vaInt32);
            LE(static_cast<uint32_t>(value), 4);
        }
    }

    void WriteName(const std::string &name) {
        if (name.empty() || name.size() > 255)
            throw ETransitionEffectError("Property name '" + name + "' cannot be stored");
        ShortString(name);
    }
    void ShortString(std::string_view s) {
        Byte(static_cast<uint8_t>(s.size()));
        Bytes(s.data(), s.size());
    }
    void Byte(uint8_t b) { out_.push_back(b); }
    void LE(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Bytes(const void *data, size_t size) {
        const auto *p = static_cast<const uint8_t *>(data);
        out_.insert(out_.end(), p, p + size);
    }

    std::vector<uint8_t> out_;
};

// The name "Milliseconds" as a short string; with the 16-bit type byte it is
// the prefix of kMillisecondsPrefix.
constexpr size_t kMillisecondsNameLength = sizeof kMillisecondsPrefix - 1;

// Writes a leading 8-bit Milliseconds as a 16-bit one, so that the record
// can take the version "2" form.
void WidenLeadingMilliseconds(std::vector<uint8_t> &list) {
    if (list.size() < kMillisecondsNameLength + 2) return;
    if (std::memcmp(list.data(), kMillisecondsPrefix, kMillisecondsNameLength) != 0) return;
    if (list[kMillisecondsNameLength] != rtl::vaInt8) return;
    const auto value = static_cast<int8_t>(list[kMillisecondsNameLength + 1]);
    const auto wide = static_cast<uint16_t>(static_cast<int16_t>(value));
    list[kMillisecondsNameLength] = rtl::vaInt16;
    list[kMillisecondsNameLength + 1] = static_cast<uint8_t>(wide);
    list.insert(list.begin() + kMillisecondsNameLength + 2, static_cast<uint8_t>(wide >> 8));
}

} // namespace

std::vector<uint8_t> WritePropertyList(const TPersistent &object) {
    PropertyListWriter writer;
    // Listing defined properties goes through a non-const virtual; writing
    // them does not change the object.
    writer.WriteProperties(const_cast<TPersistent &>(object), "");
    writer.EndList();
    return writer.Take();
}

std::string TransitionToParams(const TTransitionEffect &effect) {
    const TTransitionCode *row = FindTransitionCodeOfClass(effect.ClassName());
    if (!row)
        throw ETransitionEffectError(
            rtl::Format("%s has no class code in the parameter record format", {effect.ClassName()}));

    std::vector<uint8_t> list = WritePropertyList(effect);
    WidenLeadingMilliseconds(list);
    size_t skip = 0;
    char version = '1';
    if (list.size() >= sizeof kMillisecondsPrefix &&
        std::memcmp(list.data(), kMillisecondsPrefix, sizeof kMillisecondsPrefix) == 0) {
        version = '2';
        skip = sizeof kMillisecondsPrefix;
    }

    const size_t length = kParamsHeaderLength + 2 * (list.size() - skip);
    // Records are handed around with an Integer length.
    if (length > static_cast<size_t>(INT_MAX))
        throw ETransitionEffectError("The effect is too large for a parameter record");
    std::string record;
    record.reserve(length);
    record += kParamsSignature;
    record += version;
    record += row->Code;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = skip; i < list.size(); ++i) {
        record += kHex[list[i] >> 4];
        record += kHex[list[i] & 15];
    }
    return record;
}

void DoubleToExtended(double value, uint8_t bytes[10]) {
    const auto bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const auto exponent = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    uint64_t significand = 0;
    int biased = 0;
    if (exponent == 0x7FF) {
        biased = 0x7FFF;
        significand = (uint64_t{1} << 63) | (fraction << 11);
        if (fraction) significand |= uint64_t{1} << 62; // a quiet NaN
    } else if (exponent == 0) {
        if (fraction) {
            // Subnormal doubles are normal numbers in the wider exponent.
            const int shift = std::countl_zero(fraction);
            significand = fraction << shift;
            biased = 15372 - shift;
        }
    } else {
        significand = (uint64_t{1} << 63) | (fraction << 11);
        biased = exponent + 15360;
    }
    rtl::StoreLE(bytes, significand);
    rtl::StoreLE(bytes + 8, static_cast<uint16_t>((negative ? 0x8000 : 0) | biased));
}

} // namespace qvt
