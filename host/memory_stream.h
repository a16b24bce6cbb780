// A read-only COM stream over bytes in memory: how the host stand-in hands a
// file it holds (a mask the tool converted or drew) to the plug-in.
#ifndef QVT_HOST_MEMORY_STREAM_H
#define QVT_HOST_MEMORY_STREAM_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace qvt::host {

// A new stream positioned at the start of the bytes, which it shares; the
// caller releases it. Null when it cannot be made.
IStream *NewMemoryStream(std::shared_ptr<const std::vector<uint8_t>> bytes);

} // namespace qvt::host

#endif
