// A read-only stream over a file, in the COM stream layout hosts use to hand
// files to plug-ins.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

#include <windows.h>
#include "qvt/objidl.h"

namespace {

struct FileStream {
    IStream iface;
    std::atomic<ULONG> refs{1};
    int fd = -1;
    uint64_t pos = 0;
    uint64_t size = 0;
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
        close(f->fd);
        delete f;
    }
    return n;
}

HRESULT read(IStream *s, void *pv, ULONG cb, ULONG *done) {
    FileStream *f = self(s);
    if (done) *done = 0;
    if (!pv && cb) return E_POINTER;
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

HRESULT write(IStream *, const void *, ULONG, ULONG *done) {
    if (done) *done = 0;
    return STG_E_ACCESSDENIED;
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
