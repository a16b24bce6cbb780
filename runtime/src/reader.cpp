// The component-property stream reader.
#include "qvt/rtl/reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace qvt::rtl {

namespace {

void AppendUtf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

[[noreturn]] void ReadFailure(const char *message) { throw EReadError(message); }

bool IsIntegerType(TValueType t) { return t == vaInt8 || t == vaInt16 || t == vaInt32; }

} // namespace

double ExtendedToDouble(const uint8_t bytes[10]) {
    const auto significand = LoadLE<uint64_t>(bytes);
    const unsigned signExp = LoadLE<uint16_t>(bytes + 8);
    const bool negative = (signExp & 0x8000u) != 0;
    const int exponent = static_cast<int>(signExp & 0x7FFFu);
    double value;
    if (exponent == 0x7FFF) {
        // The integer bit is not part of the distinction between infinity
        // and NaN.
        value = (significand << 1) == 0 ? std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::quiet_NaN();
    } else if (significand == 0) {
        value = 0.0;
    } else {
        // significand x 2^(exponent - bias - 63); denormals use exponent 1.
        const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        value = std::ldexp(static_cast<double>(significand), scale);
    }
    return negative ? -value : value;
}

std::string Utf16LEToUtf8(const uint8_t *data, size_t units) {
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = LoadLE<uint16_t>(data + 2 * i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const uint32_t low = LoadLE<uint16_t>(data + 2 * i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

// --- Buffered access ---------------------------------------------------------

TReader::TReader(TStream &stream, int bufSize) : stream_(stream), buffer_(static_cast<size_t>(std::max(bufSize, 1))) {}

TReader::~TReader() {
    // Give back what was buffered but not consumed.
    if (bufEnd_ > bufPos_) {
        try {
            stream_.Seek(-static_cast<int64_t>(bufEnd_ - bufPos_), soFromCurrent);
        } catch (...) {
        }
    }
}

bool TReader::FillBuffer() {
    if (bufPos_ < bufEnd_) return true;
    const int64_t n = stream_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    bufPos_ = 0;
    bufEnd_ = n > 0 ? static_cast<size_t>(n) : 0;
    return bufEnd_ > 0;
}

void TReader::Read(void *buffer, int64_t count) {
    if (count < 0) ReadFailure(messages::kReadError);
    auto *out = static_cast<uint8_t *>(buffer);
    while (count > 0) {
        if (!FillBuffer()) ReadFailure(messages::kReadError);
        const size_t n = std::min(static_cast<size_t>(count), bufEnd_ - bufPos_);
        std::memcpy(out, buffer_.data() + bufPos_, n);
        bufPos_ += n;
        out += n;
        count -= static_cast<int64_t>(n);
    }
}

int64_t TReader::Remaining() { return static_cast<int64_t>(bufEnd_ - bufPos_) + stream_.Remaining(); }

int64_t TReader::Position() { return stream_.Position() - static_cast<int64_t>(bufEnd_ - bufPos_); }

uint8_t TReader::PeekByte() {
    if (!FillBuffer()) ReadFailure(messages::kReadError);
    return buffer_[bufPos_];
}

uint8_t TReader::ReadByte() {
    const uint8_t b = PeekByte();
    ++bufPos_;
    return b;
}

void TReader::Skip(int64_t count) {
    if (count < 0 || count > Remaining()) ReadFailure(messages::kReadError);
    const size_t buffered = std::min(static_cast<size_t>(count), bufEnd_ - bufPos_);
    bufPos_ += buffered;
    count -= static_cast<int64_t>(buffered);
    if (count > 0) stream_.Seek(count, soFromCurrent);
}

uint32_t TReader::ReadCheckedLength(uint32_t unitSize) {
    const auto length = ReadLE<uint32_t>();
    if (static_cast<uint64_t>(length) * unitSize > static_cast<uint64_t>(Remaining())) ReadFailure(messages::kReadError);
    return length;
}

std::string TReader::ReadChars(uint32_t count) {
    if (count > static_cast<uint64_t>(Remaining())) ReadFailure(messages::kReadError);
    std::string s(count, '\0');
    Read(s.data(), count);
    return s;
}

// --- Value types and lists ---------------------------------------------------

TValueType TReader::ReadValue() {
    const uint8_t b = ReadByte();
    if (b > kLastValueType) ReadFailure(messages::kInvalidPropertyValue);
    return static_cast<TValueType>(b);
}

TValueType TReader::NextValue() {
    const uint8_t b = PeekByte();
    if (b > kLastValueType) ReadFailure(messages::kInvalidPropertyValue);
    return static_cast<TValueType>(b);
}

bool TReader::EndOfList() { return PeekByte() == vaNull; }

void TReader::CheckValue(TValueType expected) {
    const TValueType t = ReadValue();
    if (t != expected) ValueError(t);
}

void TReader::ReadListBegin() { CheckValue(vaList); }

void TReader::ReadListEnd() { CheckValue(vaNull); }

void TReader::ValueError(TValueType consumedType) {
    // Keep the stream in step when the value can be passed over; the error
    // is the same either way.
    try {
        SkipAfterType(consumedType);
    } catch (const Exception &) {
    }
    ReadFailure(messages::kInvalidPropertyValue);
}

// --- Typed values ------------------------------------------------------------

namespace {

// The data of an integer value whose type byte was read; false for other
// kinds.
bool ReadIntegerBody(TReader &r, TValueType t, int64_t &value) {
    switch (t) {
    case vaInt8: value = r.ReadLE<int8_t>(); return true;
    case vaInt16: value = r.ReadLE<int16_t>(); return true;
    case vaInt32: value = r.ReadLE<int32_t>(); return true;
    case vaInt64: value = r.ReadLE<int64_t>(); return true;
    default: return false;
    }
}

} // namespace

int32_t TReader::ReadInteger() {
    const TValueType t = ReadValue();
    int64_t v = 0;
    if (!IsIntegerType(t) || !ReadIntegerBody(*this, t, v)) ValueError(t);
    return static_cast<int32_t>(v);
}

int64_t TReader::ReadInt64() {
    const TValueType t = ReadValue();
    int64_t v = 0;
    if (!ReadIntegerBody(*this, t, v)) ValueError(t);
    return v;
}

bool TReader::ReadBoolean() {
    const TValueType t = ReadValue();
    if (t != vaFalse && t != vaTrue) ValueError(t);
    return t == vaTrue;
}

double TReader::ReadFloat() {
    const TValueType t = ReadValue();
    switch (t) {
    case vaExtended: {
        uint8_t b[10];
        Read(b, 10);
        return ExtendedToDouble(b);
    }
    case vaSingle: return static_cast<double>(std::bit_cast<float>(ReadLE<uint32_t>()));
    case vaDate: return std::bit_cast<double>(ReadLE<uint64_t>());
    case vaCurrency: return static_cast<double>(ReadLE<int64_t>()) / 10000.0;
    default: break;
    }
    int64_t v = 0;
    if (!ReadIntegerBody(*this, t, v)) ValueError(t);
    return static_cast<double>(v);
}

int64_t TReader::ReadCurrency() {
    const TValueType t = ReadValue();
    if (t == vaCurrency) return ReadLE<int64_t>();
    int64_t v = 0;
    if (!ReadIntegerBody(*this, t, v)) ValueError(t);
    // Scaled with wrap-around, as the fixed-point type would overflow.
    return static_cast<int64_t>(static_cast<uint64_t>(v) * 10000u);
}

std::string TReader::ReadStr() { return ReadChars(ReadByte()); }

std::string TReader::ReadString() {
    const TValueType t = ReadValue();
    switch (t) {
    case vaString: return ReadChars(ReadByte());
    case vaLString:
    case vaUTF8String: return ReadChars(ReadCheckedLength(1));
    case vaWString: {
        const uint32_t units = ReadCheckedLength(2);
        std::vector<uint8_t> raw(static_cast<size_t>(units) * 2);
        Read(raw.data(), static_cast<int64_t>(raw.size()));
        return Utf16LEToUtf8(raw.data(), units);
    }
    default: ValueError(t);
    }
}

std::string TReader::ReadIdent() {
    const TValueType t = ReadValue();
    switch (t) {
    case vaIdent: return ReadChars(ReadByte());
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: ValueError(t);
    }
}

std::vector<uint8_t> TReader::ReadBinary() {
    const TValueType t = ReadValue();
    if (t != vaBinary) ValueError(t);
    std::vector<uint8_t> bytes(ReadCheckedLength(1));
    Read(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

// --- Skipping ----------------------------------------------------------------

void TReader::SkipSetBody() {
    for (;;) {
        const uint8_t length = ReadByte();
        if (length == 0) return;
        Skip(length);
    }
}

void TReader::SkipValue() { SkipAfterType(ReadValue()); }

void TReader::SkipAfterType(TValueType type) {
    // Lists and collections nest without limit, so the open ones are kept on
    // an explicit stack rather than the call stack.
    enum Open : uint8_t { kList, kCollection, kItem };
    std::vector<Open> open;
    const auto skipBody = [&](TValueType t) {
        switch (t) {
        case vaNull:
        case vaFalse:
        case vaTrue:
        case vaNil: break;
        case vaList: open.push_back(kList); break;
        case vaCollection: open.push_back(kCollection); break;
        case vaInt8: Skip(1); break;
        case vaInt16: Skip(2); break;
        case vaInt32:
        case vaSingle: Skip(4); break;
        case vaExtended: Skip(10); break;
        case vaCurrency:
        case vaDate:
        case vaInt64: Skip(8); break;
        case vaString:
        case vaIdent: Skip(ReadByte()); break;
        case vaBinary:
        case vaLString:
        case vaUTF8String: Skip(ReadCheckedLength(1)); break;
        case vaWString: Skip(static_cast<int64_t>(ReadCheckedLength(2)) * 2); break;
        case vaSet: SkipSetBody(); break;
        }
    };
    skipBody(type);
    while (!open.empty()) {
        if (EndOfList()) {
            ++bufPos_; // the vaNull that closes the innermost list
            open.pop_back();
            continue;
        }
        switch (open.back()) {
        case kList: skipBody(ReadValue()); break;
        case kCollection:
            if (IsIntegerType(NextValue())) skipBody(ReadValue());
            if (ReadValue() != vaList) ReadFailure(messages::kInvalidPropertyValue);
            open.push_back(kItem);
            break;
        case kItem:
            Skip(ReadByte()); // property name
            skipBody(ReadValue());
            break;
        }
    }
}

// --- Properties --------------------------------------------------------------

uint32_t TReader::ReadSet(const TPropInfo &prop) {
    const TValueType t = ReadValue();
    if (t != vaSet) ValueError(t);
    uint32_t mask = 0;
    for (;;) {
        const std::string name = ReadStr();
        if (name.empty()) break;
        // Names the set does not have are passed over.
        const int element = GetEnumValue(prop, name);
        if (element >= 0 && element < 32) mask |= 1u << element;
    }
    return mask;
}

void TReader::ReadPropValue(TPersistent &instance, const TPropInfo &prop) {
    if (prop.IsReadOnly()) {
        SkipValueQuietly();
        ReadFailure(messages::kPropertyReadOnly);
    }
    switch (prop.Kind) {
    case TTypeKind::Integer: SetOrdProp(instance, prop, ReadInteger()); break;
    case TTypeKind::Enumeration:
        // Unknown names are not checked: ordinal -1 reaches the setter at the
        // property's size.
        SetOrdProp(instance, prop, GetEnumValue(prop, ReadIdent()));
        break;
    case TTypeKind::Set: SetOrdProp(instance, prop, ReadSet(prop)); break;
    case TTypeKind::String: SetStrProp(instance, prop, ReadString()); break;
    case TTypeKind::Float: SetFloatProp(instance, prop, ReadFloat()); break;
    case TTypeKind::Class: {
        const TValueType t = ReadValue();
        if (t != vaNil) ValueError(t);
        SetObjectProp(instance, prop, nullptr);
        break;
    }
    }
}

void TReader::SkipValueQuietly() {
    try {
        SkipValue();
    } catch (const Exception &) {
    }
}

void TReader::ReadProperty(TPersistent &instance) {
    const std::string path = ReadStr();
    try {
        const TPropPath target = ResolvePropPath(instance, path);
        switch (target.Error) {
        case TPropPathError::None: ReadPropValue(*target.Instance, *target.Prop); break;
        case TPropPathError::InvalidPath:
            SkipValueQuietly();
            ReadFailure(messages::kInvalidPropertyPath);
        case TPropPathError::NotFound:
            // Not published: the object's defined properties may take it.
            propName_.assign(target.LastName);
            definedTaken_ = false;
            if (!propName_.empty()) target.Instance->DefineProperties(*this);
            if (!definedTaken_) {
                SkipValueQuietly();
                ReadFailure(messages::kPropertyNotFound);
            }
            break;
        }
    } catch (Exception &e) {
        if (!wrapErrors_) throw;
        const auto *component = dynamic_cast<const TComponent *>(&instance);
        const std::string name =
            component && !component->Name().empty() ? component->Name() : std::string(instance.ClassName());
        throw EReadError(Format("Error reading %s.%s: %s", {name, path, e.Message()}));
    }
}

void TReader::DefineBinaryProperty(std::string_view name, const BinaryProc &readData, const BinaryProc &,
                                   bool) {
    if (definedTaken_ || !readData || !SameText(name, propName_)) return;
    definedTaken_ = true;
    const TValueType t = ReadValue();
    if (t != vaBinary) ValueError(t);
    const uint32_t count = ReadCheckedLength(1);
    TMemoryStream data;
    data.SetSize(count);
    Read(data.Memory(), count);
    readData(data);
}

} // namespace qvt::rtl
