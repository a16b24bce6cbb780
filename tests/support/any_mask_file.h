// A stream access that finds a file for every name: a small 8-bit grey BMP
// picture, so that effects reading a named mask file can be set up with any
// name. While one exists it is the engine's stream access; the names asked
// for are kept.
#ifndef QVT_TESTS_ANY_MASK_FILE_H
#define QVT_TESTS_ANY_MASK_FILE_H

#include <windows.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "engine/teHostStreams.h"

namespace qvt::test {

class AnyMaskFile {
public:
    AnyMaskFile() {
        char pattern[] = "/tmp/qvt-anymask-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char *>(kPicture), sizeof kPicture);
        current_ = this;
        SetStreamAccess(&Open);
    }
    ~AnyMaskFile() {
        SetStreamAccess(nullptr);
        current_ = nullptr;
        unlink(path_.c_str());
    }
    AnyMaskFile(const AnyMaskFile &) = delete;
    AnyMaskFile &operator=(const AnyMaskFile &) = delete;

    const std::vector<std::string> &Names() const { return names_; }

private:
    static BOOL Open(const char *name, IStream **stream) {
        current_->names_.push_back(name);
        return SUCCEEDED(SHCreateStreamOnFileA(current_->path_.c_str(), STGM_READ, stream));
    }
    // 4 x 1 pixels at 8 bits with a 4-entry grey table: 0, 85, 170, 255.
    static constexpr uint8_t kPicture[] = {
        'B', 'M', 74, 0, 0, 0, 0, 0, 0, 0, 70, 0, 0, 0,                               // file header
        40, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0, 4, 0, 0, 0,        // info header
        0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0,                               //
        0, 0, 0, 0, 85, 85, 85, 0, 170, 170, 170, 0, 255, 255, 255, 0,                // colour table
        0, 1, 2, 3};                                                                  // pixels
    static inline AnyMaskFile *current_ = nullptr;
    std::string path_;
    std::vector<std::string> names_;
};

} // namespace qvt::test

#endif
