// Where rendered frames go: numbered PNG files (a printf-style pattern such
// as out/f%04d.png, or a folder), or one animation or video file made by the
// ffmpeg program (.gif, .apng, .webm, .mp4) from raw frames piped to it, a
// stream of PNG pictures on standard output ("-"), or nowhere ("null": the
// frames are rendered and discarded).
//
// An output that is already there is left alone unless the writer is told to
// overwrite it: a file of that name, or frames of the pattern in its folder.
// Overwriting frames also removes those of an earlier run numbered past the
// new run's last, so that the folder holds exactly the new run.
//
// Output appears whole or not at all: frames are written under temporary
// names next to their destination and moved into place by Commit; a writer
// destroyed without Commit removes everything it wrote, and the folders it
// created. One output is written by one run at a time: a writer holds a lock
// on a hidden file beside its output for as long as it lives.
#ifndef QVT_HOST_FRAME_WRITER_H
#define QVT_HOST_FRAME_WRITER_H

#include <memory>
#include <string>
#include <vector>

#include "png_io.h"

namespace qvt::host {

// Null discards the frames (as ffmpeg's null output does): for timing runs.
// They are drawn, but not read back from the window.
// PngStream writes each frame as a whole PNG file to standard output, one
// after the other, as ffmpeg's image2pipe reads them.
enum class OutputKind { PngFrames, Gif, Apng, Webm, Mp4, Null, PngStream };

struct OutputTarget {
    OutputKind kind = OutputKind::PngFrames;
    std::string folder; // PNG frames: the folder they go into
    std::string prefix; // PNG frames: file name before the number
    int digits = 4;     // PNG frames: the number's width, zero-padded
    std::string suffix; // PNG frames: file name after the number
    std::string path;   // animation or video file
    // The file name of PNG frame `index`.
    std::string FrameName(int index) const;
    // The frame number a file name stands for, or -1 when it is no frame
    // name of this pattern (FrameName gives it back exactly).
    int FrameIndex(const std::string &name) const;
    // PNG frames: the folder and pattern as a printf-style text
    // (out/f%04d.png), percent signs of the names doubled.
    std::string Pattern() const;
};

// Works out what an output argument asks for. Raises ToolError for a form it
// does not know.
OutputTarget ParseOutput(const std::string &out);

class FrameWriter {
public:
    virtual ~FrameWriter() = default;
    // How many times the run's frames are to be written, the same frames
    // each time: a GIF takes them twice, first for its palette, so that it
    // never holds more than a frame or two in memory.
    virtual int Passes() const { return 1; }
    // Ends a pass and starts the next one.
    virtual void NextPass() {}
    // False when the frames' pixels are not needed: Write is then not
    // called, and the frames are only counted.
    virtual bool WantsPixels() const { return true; }
    // Raises ToolError, or Interrupted once a stop signal has come.
    virtual void Write(const RgbImage &frame) = 0;
    // Moves the output into place; the files written, in order.
    virtual std::vector<std::string> Commit() = 0;
};

struct WriterOptions {
    // Replace an output that is there (see above); without it such an
    // output stops the run before anything is written.
    bool overwrite = false;
};

// Opens a writer for frames of width x height at fps frames per second.
// Checks up front what can be checked (the folder can be written, ffmpeg is
// there, the size suits the format, the output is not there or may be
// overwritten, standard output is no terminal). Raises ToolError.
std::unique_ptr<FrameWriter> OpenFrameWriter(const OutputTarget &target, int width, int height, double fps,
                                             const WriterOptions &options = {});

// Creates a folder and its missing parents, remembering which it created so
// that a failed run can take them away again. Raises ToolError.
class CreatedFolders {
public:
    void Ensure(const std::string &folder);
    // Removes the folders created, innermost first, as far as they are empty.
    void RemoveAll();
    // The folders stay.
    void Keep() { created_.clear(); }

private:
    std::vector<std::string> created_;
};

// The full path of a program found on PATH; empty when there is none.
std::string FindProgram(const std::string &name);

} // namespace qvt::host

#endif
