// Streams in the COM layout hosts use to hand files to plug-ins: a read-only
// stream over a file, and a stream over bytes in memory (readable, writable,
// growing as it is written).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <windows.h>
#include "qvt/objidl.h"

namespace {

struct FileStream {
    IStream iface;
    std::atomic<ULONG> refs{1};
    int fd = -1; // -1: the stream is over `bytes`
    uint64_t pos = 0;
    uint64_t size = 0;
    std::vector<uint8_t> bytes;
};

FileStream *self(IStream *s) { return reinterpret_cast<FileStream *>(s); }

HRESULT queryInterface(IStream *s, const void *, void **out) {
    if (!out) return E_POINTER;
    // Only the stream interface itself is offered.
    s->lpVtbl->AddRef(s);
    *out = s;
    return S_OK;
}

ULONG addRef(IStream *s) { return ++self(s)->refs; }

ULONG release(IStream *s) {
    FileStream *f = self(s);
    ULONG n = --f->refs;
    if (n == 0) {
        if (f->fd >= 0) close(f->fd);
        delete f;
    }
    return n;
}

HRESULT read(IStream *s, void *pv, ULONG cb, ULONG *done) {
    FileStream *f = self(s);
    if (done) *done = 0;
    if (!pv && cb) return E_POINTER;
    if (f->fd < 0) {
        uint64_t n = f->pos < f->size ? f->size - f->pos : 0;
        if (n > cb) n = cb;
        if (n) memcpy(pv, f->bytes.data() + f->pos, (size_t)n);
        f->pos += n;
        if (done) *done = (ULONG)n;
        return n == cb ? S_OK : S_FALSE;
    }
    ULONG total = 0;
    while (total < cb) {
        ssize_t n = pread(f->fd, static_cast<char *>(pv) + total, cb - total, (off_t)f->pos);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done) *done = total;
            return STG_E_READFAULT;
        }
        if (n == 0) break;
        total += (ULONG)n;
        f->pos += (uint64_t)n;
    }
    if (done) *done = total;
    return total == cb ? S_OK : S_FALSE;
}

HRESULT write(IStream *s, const void *pv, ULONG cb, ULONG *done) {
    FileStream *f = self(s);
    if (done) *done = 0;
    if (f->fd >= 0) return STG_E_ACCESSDENIED;
    if (!pv && cb) return E_POINTER;
    if (!cb) return S_OK;
    // A write past the end fills the gap with zeros, as a seek past the end
    // followed by a write does on the system. A memory stream holds at most
    // 4 GiB - 1 bytes, the most its size argument can give.
    if (f->pos > UINT32_MAX || cb > UINT32_MAX - f->pos) return STG_E_MEDIUMFULL;
    const uint64_t end = f->pos + cb;
    try {
        if (end > f->bytes.size()) f->bytes.resize((size_t)end);
    } catch (const std::bad_alloc &) {
        return STG_E_MEDIUMFULL;
    }
    memcpy(f->bytes.data() + f->pos, pv, cb);
    f->pos = end;
    if (end > f->size) f->size = end;
    if (done) *done = cb;
    return S_OK;
}

HRESULT seek(IStream *s, LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER *newPos) {
    FileStream *f = self(s);
    int64_t base;
    switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = (int64_t)f->pos; break;
    case STREAM_SEEK_END: base = (int64_t)f->size; break;
    default: return STG_E_INVALIDFUNCTION;
    }
    int64_t target;
    if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0) return STG_E_INVALIDFUNCTION;
    f->pos = (uint64_t)target;
    if (newPos) newPos->QuadPart = f->pos;
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

WINBASEAPI HRESULT WINAPI SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream **ppstm) {
    if (!ppstm) return E_POINTER;
    *ppstm = nullptr;
    if (!pszFile || !*pszFile) return E_INVALIDARG;
    if (grfMode != STGM_READ) return E_INVALIDARG;
    int fd = open(pszFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? STG_E_ACCESSDENIED : STG_E_FILENOTFOUND;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return STG_E_FILENOTFOUND;
    }
    auto *f = new (std::nothrow) FileStream;
    if (!f) {
        close(fd);
        return E_FAIL;
    }
    f->iface.lpVtbl = &vtbl;
    f->fd = fd;
    f->size = (uint64_t)st.st_size;
    *ppstm = &f->iface;
    return S_OK;
}

WINBASEAPI IStream *WINAPI SHCreateMemStream(const BYTE *pInit, UINT cbInit) {
    if (!pInit && cbInit) return nullptr;
    auto *f = new (std::nothrow) FileStream;
    if (!f) return nullptr;
    try {
        f->bytes.assign(pInit, pInit + cbInit);
    } catch (const std::bad_alloc &) {
        delete f;
        return nullptr;
    }
    f->iface.lpVtbl = &vtbl;
    f->size = cbInit;
    return &f->iface;
}
