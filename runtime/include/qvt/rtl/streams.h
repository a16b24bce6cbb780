// Streams: a byte sequence with a position. TStream is the abstract base with
// the checked ReadBuffer/WriteBuffer helpers; TMemoryStream grows in memory;
// TReadOnlyMemoryStream reads caller-owned memory in place and refuses writes.
#ifndef QVT_RTL_STREAMS_H
#define QVT_RTL_STREAMS_H

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace qvt::rtl {

enum TSeekOrigin : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// The little-endian integer held in the first sizeof(T) bytes at `bytes`.
template <class T>
    requires std::is_integral_v<T>
T LoadLE(const void *bytes) {
    const auto *b = static_cast<const unsigned char *>(bytes);
    std::make_unsigned_t<T> v = 0;
    for (size_t i = sizeof(T); i-- > 0;) v = static_cast<std::make_unsigned_t<T>>((v << 8) | b[i]);
    return static_cast<T>(v);
}

// Stores value little-endian in the sizeof(T) bytes at `bytes`.
template <class T>
    requires std::is_integral_v<T>
void StoreLE(void *bytes, T value) {
    auto *b = static_cast<unsigned char *>(bytes);
    const auto v = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream &) = delete;
    TStream &operator=(const TStream &) = delete;

    // Reads up to count bytes and returns how many were read (0 at the end or
    // for count <= 0).
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    // Writes up to count bytes and returns how many were written.
    virtual int64_t Write(const void *buffer, int64_t count) = 0;
    // Moves the position and returns the new one. A position before the
    // start raises EStreamError; one past the end is allowed.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }
    virtual int64_t Size();
    // Streams that cannot change their size raise EStreamError.
    virtual void SetSize(int64_t newSize);
    // Bytes from the position to the end (0 when positioned past the end).
    int64_t Remaining();

    // Exactly count bytes or EReadError "Stream read error".
    void ReadBuffer(void *buffer, int64_t count);
    // Exactly count bytes or EWriteError "Stream write error".
    void WriteBuffer(const void *buffer, int64_t count);
    // Copies count bytes from source's position; count 0 copies the whole of
    // source from its start. Returns the number of bytes copied.
    int64_t CopyFrom(TStream &source, int64_t count);

    // Little-endian integers through ReadBuffer/WriteBuffer.
    template <class T>
        requires std::is_integral_v<T>
    T ReadLE() {
        unsigned char b[sizeof(T)];
        ReadBuffer(b, sizeof b);
        return LoadLE<T>(b);
    }
    template <class T>
        requires std::is_integral_v<T>
    void WriteLE(T value) {
        unsigned char b[sizeof(T)];
        StoreLE(b, value);
        WriteBuffer(b, sizeof b);
    }
};

// A stream over a block of memory that it owns and grows on demand. Writing
// past the end zero-fills any gap.
class TMemoryStream : public TStream {
public:
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    // Shrinking moves a position past the new end to the end.
    void SetSize(int64_t newSize) override;
    void Clear();
    void *Memory() { return data_.data(); }
    const void *Memory() const { return data_.data(); }
    // Replaces the contents with the rest of source; the position becomes 0.
    void LoadFromStream(TStream &source);
    void SaveToStream(TStream &dest) const;

private:
    std::vector<unsigned char> data_;
    int64_t position_ = 0;
};

// Reads caller-owned memory directly (no copy); the memory must outlive the
// stream. Write and SetSize raise EWriteError.
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const void *data, size_t size) : data_(static_cast<const unsigned char *>(data)), size_(size) {}
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(size_); }
    void SetSize(int64_t newSize) override;
    const void *Memory() const { return data_; }

private:
    const unsigned char *data_;
    size_t size_;
    int64_t position_ = 0;
};

} // namespace qvt::rtl

#endif
