// Exceptions of the run-time library and the integer conversions that raise
// them. Every failure of the library is an Exception carrying a message; the
// classes below only sort them so that callers can catch a family.
#ifndef QVT_RTL_EXCEPTIONS_H
#define QVT_RTL_EXCEPTIONS_H

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace qvt::rtl {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string &Message() const noexcept { return message_; }
    // Handlers may add context to a message before re-raising it.
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char *what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Declares an exception class with a default message (empty: none).
template <class Base, const char *DefaultMessage>
class ExceptionWithDefault : public Base {
public:
    ExceptionWithDefault() : Base(DefaultMessage) {}
    explicit ExceptionWithDefault(std::string message) : Base(std::move(message)) {}
};

namespace messages {
inline constexpr char kOperationAborted[] = "Operation aborted";
inline constexpr char kReadError[] = "Stream read error";
inline constexpr char kWriteError[] = "Stream write error";
inline constexpr char kInvalidGraphic[] = "Bitmap image is not valid";
inline constexpr char kOutOfResources[] = "Out of system resources";
inline constexpr char kDivByZero[] = "Division by zero";
inline constexpr char kIntOverflow[] = "Integer overflow";
inline constexpr char kInvalidOp[] = "Invalid floating point operation";
inline constexpr char kPropertyNotFound[] = "Property does not exist";
inline constexpr char kInvalidPropertyPath[] = "Invalid property path";
inline constexpr char kInvalidPropertyValue[] = "Invalid property value";
inline constexpr char kPropertyReadOnly[] = "Property is read-only";
inline constexpr char kInvalidPropertyType[] = "Invalid property type";
inline constexpr char kBitmapEmpty[] = "Bitmap is empty";
inline constexpr char kInvalidPixelFormat[] = "Invalid pixel format";
inline constexpr char kScanLine[] = "Scan line index out of range";
inline constexpr char kNoCanvasHandle[] = "Canvas does not allow drawing";
} // namespace messages

// The silent abort: application code raises it to leave an operation without
// an error report; a handler that catches every Exception still sees it.
class EAbort : public ExceptionWithDefault<Exception, messages::kOperationAborted> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EConvertError : public Exception {
    using Exception::Exception;
};
class EInvalidOperation : public Exception {
    using Exception::Exception;
};
class EInvalidGraphicOperation : public EInvalidOperation {
    using EInvalidOperation::EInvalidOperation;
};
class EInvalidGraphic : public ExceptionWithDefault<Exception, messages::kInvalidGraphic> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EOutOfResources : public ExceptionWithDefault<Exception, messages::kOutOfResources> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EListError : public Exception {
    using Exception::Exception;
};
class EPropertyError : public Exception {
    using Exception::Exception;
};
class EDivByZero : public ExceptionWithDefault<Exception, messages::kDivByZero> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EIntOverflow : public ExceptionWithDefault<Exception, messages::kIntOverflow> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EInvalidOp : public ExceptionWithDefault<Exception, messages::kInvalidOp> {
    using ExceptionWithDefault::ExceptionWithDefault;
};

// Streams and the component filer.
class EStreamError : public Exception {
    using Exception::Exception;
};
class EFilerError : public EStreamError {
    using EStreamError::EStreamError;
};
class EReadError : public ExceptionWithDefault<EFilerError, messages::kReadError> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EWriteError : public ExceptionWithDefault<EFilerError, messages::kWriteError> {
    using ExceptionWithDefault::ExceptionWithDefault;
};
class EClassNotFound : public EFilerError {
    using EFilerError::EFilerError;
};

// Raises EAbort.
[[noreturn]] void Abort();

// A small printf-like formatter for messages: %s takes a string, %d a signed
// and %u an unsigned integer, %x hexadecimal (upper case), %% a percent sign.
// A directive that does not match its argument, or a missing argument,
// raises EConvertError.
using FormatArg = std::variant<std::string_view, int64_t, uint64_t>;
struct FormatValue {
    FormatArg value;
    FormatValue(std::string_view s) : value(s) {}
    FormatValue(const std::string &s) : value(std::string_view(s)) {}
    FormatValue(const char *s) : value(std::string_view(s ? s : "")) {}
    template <class T>
        requires std::is_integral_v<T>
    FormatValue(T v) {
        if constexpr (std::is_signed_v<T>)
            value = static_cast<int64_t>(v);
        else
            value = static_cast<uint64_t>(v);
    }
};
std::string Format(std::string_view format, std::initializer_list<FormatValue> args);

// Integer conversion: optional leading spaces, an optional sign, then decimal
// digits or '$' and hexadecimal digits, and nothing after. Decimal values
// must fit an Integer; hexadecimal ones may use all 32 bits and wrap to
// negative above 0x7FFFFFFF. StrToInt raises EConvertError
// "'<text>' is not a valid integer value".
bool TryStrToInt(std::string_view text, int32_t &value);
int32_t StrToInt(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t fallback);
std::string IntToStr(int64_t value);
// Upper-case hexadecimal with at least `digits` digits (two's complement).
std::string IntToHex(int64_t value, int digits);

// Case-insensitive comparison of ASCII identifiers and names.
bool SameText(std::string_view a, std::string_view b);

} // namespace qvt::rtl

#endif
