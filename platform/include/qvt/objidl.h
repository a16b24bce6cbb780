/* The COM stream interface (IStream) in its C layout, and the call that opens
 * a file as a stream. Hosts hand such streams to plug-ins. */
#ifndef QVT_OBJIDL_H
#define QVT_OBJIDL_H

#include "wintypes.h"

typedef LONG HRESULT;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002L)
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005L)
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#define STG_E_READFAULT ((HRESULT)0x8003001EL)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STGM_READ 0x00000000L

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    uint64_t QuadPart;
} ULARGE_INTEGER;

typedef struct IStream IStream;

/* Slots in the interface's order; unsupported ones return E_NOTIMPL. */
typedef struct IStreamVtbl {
    HRESULT (*QueryInterface)(IStream *This, const void *riid, void **ppvObject);
    ULONG (*AddRef)(IStream *This);
    ULONG (*Release)(IStream *This);
    HRESULT (*Read)(IStream *This, void *pv, ULONG cb, ULONG *pcbRead);
    HRESULT (*Write)(IStream *This, const void *pv, ULONG cb, ULONG *pcbWritten);
    HRESULT (*Seek)(IStream *This, LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition);
    HRESULT (*SetSize)(IStream *This, ULARGE_INTEGER libNewSize);
    HRESULT (*CopyTo)(IStream *This, IStream *pstm, ULARGE_INTEGER cb, ULARGE_INTEGER *pcbRead,
                      ULARGE_INTEGER *pcbWritten);
    HRESULT (*Commit)(IStream *This, DWORD grfCommitFlags);
    HRESULT (*Revert)(IStream *This);
    HRESULT (*LockRegion)(IStream *This, ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType);
    HRESULT (*UnlockRegion)(IStream *This, ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType);
    HRESULT (*Stat)(IStream *This, void *pstatstg, DWORD grfStatFlag);
    HRESULT (*Clone)(IStream *This, IStream **ppstm);
} IStreamVtbl;

struct IStream {
    const IStreamVtbl *lpVtbl;
};

/* Opens a file for reading as a stream (only STGM_READ is supported); the
 * caller releases it with lpVtbl->Release. */
WINBASEAPI HRESULT WINAPI SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream **ppstm);

/* A stream over a copy of cbInit bytes at pInit, positioned at the start;
 * it can be read, sought and written (growing as written). Null when it
 * cannot be made. The caller releases it with lpVtbl->Release. */
WINBASEAPI IStream *WINAPI SHCreateMemStream(const BYTE *pInit, UINT cbInit);

#endif
