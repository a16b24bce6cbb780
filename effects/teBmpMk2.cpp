// Bitmap mask from a file.
#include "effects/teBmpMk2.h"

#include <algorithm>
#include <limits>

#include "engine/teHostStreams.h"
#include "qvt/rtl/streams.h"

namespace qvt {

namespace {

// A stream whose reads, writes and seeks go to a COM stream. Owns one
// reference to it, released with the wrapper.
class TInterfaceStream : public rtl::TStream {
public:
    explicit TInterfaceStream(IStream *stream) : stream_(stream) {}
    ~TInterfaceStream() override { stream_->lpVtbl->Release(stream_); }

    int64_t Read(void *buffer, int64_t count) override {
        int64_t total = 0;
        auto *out = static_cast<uint8_t *>(buffer);
        while (total < count) {
            const ULONG chunk = static_cast<ULONG>(std::min<int64_t>(count - total, kChunk));
            ULONG done = 0;
            const HRESULT hr = stream_->lpVtbl->Read(stream_, out + total, chunk, &done);
            if (FAILED(hr)) throw rtl::EReadError();
            total += std::min(done, chunk);
            if (done < chunk) break;
        }
        return total;
    }
    int64_t Write(const void *buffer, int64_t count) override {
        int64_t total = 0;
        const auto *in = static_cast<const uint8_t *>(buffer);
        while (total < count) {
            const ULONG chunk = static_cast<ULONG>(std::min<int64_t>(count - total, kChunk));
            ULONG done = 0;
            const HRESULT hr = stream_->lpVtbl->Write(stream_, in + total, chunk, &done);
            if (FAILED(hr)) throw rtl::EWriteError();
            total += std::min(done, chunk);
            if (done < chunk) break;
        }
        return total;
    }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override {
        LARGE_INTEGER move;
        move.QuadPart = offset;
        ULARGE_INTEGER position;
        position.QuadPart = 0;
        const DWORD how = origin == rtl::soFromCurrent ? STREAM_SEEK_CUR
                          : origin == rtl::soFromEnd   ? STREAM_SEEK_END
                                                       : STREAM_SEEK_SET;
        if (FAILED(stream_->lpVtbl->Seek(stream_, move, how, &position)) ||
            position.QuadPart > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            throw rtl::EStreamError("Stream seek error");
        return static_cast<int64_t>(position.QuadPart);
    }

private:
    static constexpr int64_t kChunk = 1 << 30;
    IStream *stream_;
};

} // namespace

TBmpMaskTransition2::TBmpMaskTransition2(TComponent *owner) : TBmpMaskTransition(owner) {}

TBmpMaskTransition2::~TBmpMaskTransition2() = default;

const rtl::TClassInfo &TBmpMaskTransition2::StaticClassInfo() {
    using B = TBmpMaskTransition2;
    static const rtl::TClassInfo info = rtl::DeclareClass<B, TBmpMaskTransition>("TBmpMaskTransition2")
                                            .Property("Mask", &TBmpMaskTransition::GetMask, &B::IgnoreMask)
                                            .Stored(false)
                                            .Property("OVMaskFileName", &B::GetMaskFileName, &B::SetMaskFileName)
                                            .Build();
    return info;
}

void TBmpMaskTransition2::SetMaskFileName(const std::string &value) {
    if (value == MaskFileName) return;
    MaskFileName = value;
    if (value.empty()) {
        Mask->Assign(nullptr);
        return;
    }
    LoadMaskFile(value);
}

void TBmpMaskTransition2::LoadMaskFile(const std::string &name) {
    IStream *stream = nullptr;
    if (!OpenHostStream(name.c_str(), &stream)) throw rtl::Exception(rtl::Format("File '%s' not found.", {name}));
    TInterfaceStream file(stream);
    Mask->LoadFromStream(file);
}

} // namespace qvt
