// The memory stream.
#include "memory_stream.h"

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cstring>
#include <new>

namespace qvt::host {

namespace {

struct MemoryStream {
    IStream iface; // first: the interface pointer is the object's address
    std::atomic<ULONG> refs{1};
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    uint64_t pos = 0;
};

MemoryStream *self(IStream *s) { return reinterpret_cast<MemoryStream *>(s); }

HRESULT queryInterface(IStream *s, const void *, void **out) {
    if (!out) return E_POINTER;
    s->lpVtbl->AddRef(s);
    *out = s;
    return S_OK;
}

ULONG addRef(IStream *s) { return ++self(s)->refs; }

ULONG release(IStream *s) {
    MemoryStream *m = self(s);
    const ULONG n = --m->refs;
    if (n == 0) delete m;
    return n;
}

HRESULT read(IStream *s, void *pv, ULONG cb, ULONG *done) {
    MemoryStream *m = self(s);
    if (done) *done = 0;
    if (!pv && cb) return E_POINTER;
    const uint64_t size = m->bytes->size();
    const uint64_t n = m->pos >= size ? 0 : std::min<uint64_t>(cb, size - m->pos);
    if (n) std::memcpy(pv, m->bytes->data() + m->pos, n);
    m->pos += n;
    if (done) *done = static_cast<ULONG>(n);
    return n == cb ? S_OK : S_FALSE;
}

HRESULT write(IStream *, const void *, ULONG, ULONG *done) {
    if (done) *done = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT seek(IStream *s, LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER *newPos) {
    MemoryStream *m = self(s);
    int64_t base;
    switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<int64_t>(m->pos); break;
    case STREAM_SEEK_END: base = static_cast<int64_t>(m->bytes->size()); break;
    default: return STG_E_INVALIDFUNCTION;
    }
    // Before the start is refused; past the end reads nothing.
    if ((move.QuadPart < 0 && base + move.QuadPart < 0) ||
        (move.QuadPart > 0 && base > INT64_MAX - move.QuadPart))
        return STG_E_INVALIDFUNCTION;
    m->pos = static_cast<uint64_t>(base + move.QuadPart);
    if (newPos) newPos->QuadPart = m->pos;
    return S_OK;
}

HRESULT notImpl() { return E_NOTIMPL; }

const IStreamVtbl vtbl = {
    queryInterface,
    addRef,
    release,
    read,
    write,
    seek,
    [](IStream *, ULARGE_INTEGER) { return STG_E_ACCESSDENIED; },
    [](IStream *, IStream *, ULARGE_INTEGER, ULARGE_INTEGER *, ULARGE_INTEGER *) { return notImpl(); },
    [](IStream *, DWORD) { return S_OK; },
    [](IStream *) { return S_OK; },
    [](IStream *, ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return notImpl(); },
    [](IStream *, ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return notImpl(); },
    [](IStream *, void *, DWORD) { return notImpl(); },
    [](IStream *, IStream **) { return notImpl(); },
};

} // namespace

IStream *NewMemoryStream(std::shared_ptr<const std::vector<uint8_t>> bytes) {
    if (!bytes) return nullptr;
    auto *m = new (std::nothrow) MemoryStream;
    if (!m) return nullptr;
    m->iface.lpVtbl = &vtbl;
    m->bytes = std::move(bytes);
    return &m->iface;
}

} // namespace qvt::host
