// The reader of the component-property binary format: typed values (a type
// byte, then its data, little-endian), property lists of `name value` pairs
// ended by a zero byte, and ReadProperty, which assigns one property of an
// object through its published setter.
//
// Every failure is an exception with a message; lengths in the data are
// checked against the bytes that remain before anything is allocated, so a
// damaged stream cannot make the reader allocate more than the stream holds.
#ifndef QVT_RTL_READER_H
#define QVT_RTL_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "qvt/rtl/classes.h"
#include "qvt/rtl/streams.h"

namespace qvt::rtl {

// The value kinds of the binary format. Bytes above vaUTF8String are not
// values; reading one raises EReadError "Invalid property value".
enum TValueType : uint8_t {
    vaNull = 0,        // none; also ends lists
    vaList = 1,        // values until a vaNull
    vaInt8 = 2,        // 1 byte, signed
    vaInt16 = 3,       // 2 bytes, signed
    vaInt32 = 4,       // 4 bytes, signed
    vaExtended = 5,    // 10-byte x87 extended float
    vaString = 6,      // 1 length byte + 8-bit characters
    vaIdent = 7,       // 1 length byte + characters
    vaFalse = 8,       // none
    vaTrue = 9,        // none
    vaBinary = 10,     // 4-byte length + bytes
    vaSet = 11,        // short strings ended by an empty one
    vaLString = 12,    // 4-byte length + characters
    vaNil = 13,        // none
    vaCollection = 14, // items: [integer] vaList properties vaNull; then vaNull
    vaSingle = 15,     // 4-byte IEEE float
    vaCurrency = 16,   // 8-byte signed integer = value x 10,000
    vaDate = 17,       // 8-byte IEEE double
    vaWString = 18,    // 4-byte length in characters + UTF-16LE
    vaInt64 = 19,      // 8 bytes, signed
    vaUTF8String = 20, // 4-byte length in bytes + UTF-8
};
inline constexpr uint8_t kLastValueType = vaUTF8String;

// Converts a 10-byte x87 extended value (little-endian: 64-bit significand
// with explicit integer bit, then sign and 15-bit exponent) to the nearest
// double; out-of-range magnitudes become infinities or zeros.
double ExtendedToDouble(const uint8_t bytes[10]);

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LEToUtf8(const uint8_t *data, size_t units);

class TReader : public TFiler {
public:
    // Reads stream from its current position through a buffer of bufSize
    // bytes (at least 1). When the reader is destroyed, the stream is moved
    // back to just after the last byte the reader consumed.
    TReader(TStream &stream, int bufSize);
    ~TReader() override;
    TReader(const TReader &) = delete;
    TReader &operator=(const TReader &) = delete;

    // Off by default: errors raised while reading a property carry their own
    // text. On: they become EReadError "Error reading <object>.<path>:
    // <text>", with the object's Name (its class name when it has none).
    bool WrapPropertyErrors() const { return wrapErrors_; }
    void SetWrapPropertyErrors(bool on) { wrapErrors_ = on; }

    // Exactly count bytes, or EReadError "Stream read error".
    void Read(void *buffer, int64_t count);
    // A little-endian integer through Read.
    template <class T>
        requires std::is_integral_v<T>
    T ReadLE() {
        uint8_t b[sizeof(T)];
        Read(b, sizeof b);
        return LoadLE<T>(b);
    }
    // Bytes left between the reader's position and the end of the stream.
    int64_t Remaining();
    // Position in the stream of the next byte the reader will consume.
    int64_t Position();

    // The next type byte, consumed (ReadValue) or not (NextValue).
    TValueType ReadValue();
    TValueType NextValue();
    // True when the next byte is the zero that ends a list (not consumed).
    bool EndOfList();
    // Consume vaList / the vaNull that ends a list, or raise "Invalid
    // property value".
    void ReadListBegin();
    void ReadListEnd();
    void CheckValue(TValueType expected);

    // Typed values; a value of another kind raises EReadError "Invalid
    // property value" (the value is skipped first when that is possible).
    // ReadInteger: vaInt8/16/32, sign-extended. ReadInt64 also takes vaInt64.
    int32_t ReadInteger();
    int64_t ReadInt64();
    // vaFalse / vaTrue.
    bool ReadBoolean();
    // vaExtended, vaSingle, vaDate, vaCurrency (scaled) and integers.
    double ReadFloat();
    // vaCurrency as its raw value x 10,000; integers are scaled up.
    int64_t ReadCurrency();
    // vaString, vaLString, vaUTF8String and vaWString (converted to UTF-8).
    std::string ReadString();
    // vaIdent; vaFalse, vaTrue, vaNil and vaNull read as "False", "True",
    // "nil" and "Null".
    std::string ReadIdent();
    // vaBinary: the bytes.
    std::vector<uint8_t> ReadBinary();
    // A short string without a type byte (a property name, a set element).
    std::string ReadStr();
    // Skips one complete value of any kind, nested lists and collections
    // included.
    void SkipValue();

    // Reads one `name value` pair and assigns it to instance through the
    // property's setter. The name is matched case-insensitively; a dotted
    // name walks object-valued properties and changes the inner object in
    // place. Integer properties take vaInt8/16/32 stored at the property's
    // size; enumerations take identifiers (an unknown name passes ordinal -1
    // unchecked); strings take the four string kinds; sets take vaSet;
    // object properties take vaNil. A last part that is not published is
    // offered to the object's defined properties (as vaBinary). Errors, each
    // after skipping the value when possible: "Invalid property path",
    // "Property does not exist", "Property is read-only", "Invalid property
    // value"; missing data gives "Stream read error".
    void ReadProperty(TPersistent &instance);

    // TFiler: lets the object being read take a binary defined property.
    void DefineBinaryProperty(std::string_view name, const BinaryProc &readData, const BinaryProc &writeData,
                              bool hasData) override;

private:
    uint8_t PeekByte();
    uint8_t ReadByte();
    void Skip(int64_t count);
    // A 4-byte length followed by length x unitSize bytes; the length is
    // checked against the remaining bytes.
    uint32_t ReadCheckedLength(uint32_t unitSize);
    std::string ReadChars(uint32_t count);
    void SkipSetBody();
    void SkipAfterType(TValueType type);
    // Skips one value if it can; errors while doing so are dropped because
    // the caller raises its own.
    void SkipValueQuietly();
    [[noreturn]] void ValueError(TValueType consumedType);
    bool FillBuffer();
    void ReadPropValue(TPersistent &instance, const TPropInfo &prop);
    uint32_t ReadSet(const TPropInfo &prop);

    TStream &stream_;
    std::vector<uint8_t> buffer_;
    size_t bufPos_ = 0;
    size_t bufEnd_ = 0;
    bool wrapErrors_ = false;
    // Last part of the property being read, offered to the object's defined
    // properties; set once one of them took the value.
    std::string propName_;
    bool definedTaken_ = false;
};

} // namespace qvt::rtl

#endif
