// Stream base helpers, the growable memory stream and the read-only view.
#include "qvt/rtl/streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "qvt/rtl/exceptions.h"

namespace qvt::rtl {

namespace {

// New position for Seek, or EStreamError when it would lie before the start.
int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    switch (origin) {
    case soFromBeginning: base = 0; break;
    case soFromCurrent: base = position; break;
    case soFromEnd: base = size; break;
    default: throw EStreamError("Invalid seek origin");
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
        throw EStreamError("Invalid stream position");
    return base + offset;
}

} // namespace

int64_t TStream::Size() {
    const int64_t pos = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

int64_t TStream::Remaining() { return std::max<int64_t>(0, Size() - Position()); }

void TStream::ReadBuffer(void *buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void *buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream &source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    if (count < 0) throw EReadError();
    constexpr int64_t kChunk = 64 * 1024;
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min(count, kChunk)));
    int64_t done = 0;
    while (done < count) {
        const int64_t n = std::min(count - done, kChunk);
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        done += n;
    }
    return done;
}

// --- TMemoryStream -----------------------------------------------------------

int64_t TMemoryStream::Read(void *buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void *buffer, int64_t count) {
    if (count <= 0) return 0;
    if (position_ > std::numeric_limits<int64_t>::max() - count) throw EStreamError("Out of memory while expanding memory stream");
    const int64_t end = position_ + count;
    if (end > Size()) SetSize(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, Size(), offset, origin);
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    try {
        data_.resize(static_cast<size_t>(newSize));
    } catch (const std::bad_alloc &) {
        throw EStreamError("Out of memory while expanding memory stream");
    } catch (const std::length_error &) {
        throw EStreamError("Out of memory while expanding memory stream");
    }
    position_ = std::min(position_, newSize);
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream &source) {
    const int64_t n = source.Remaining();
    SetSize(n);
    position_ = 0;
    source.ReadBuffer(data_.data(), n);
}

void TMemoryStream::SaveToStream(TStream &dest) const { dest.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size())); }

// --- TReadOnlyMemoryStream ---------------------------------------------------

int64_t TReadOnlyMemoryStream::Read(void *buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TReadOnlyMemoryStream::Write(const void *, int64_t) { throw EWriteError("Cannot write to a read-only stream"); }

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, Size(), offset, origin);
    return position_;
}

void TReadOnlyMemoryStream::SetSize(int64_t) { throw EWriteError("Cannot resize a read-only stream"); }

} // namespace qvt::rtl
