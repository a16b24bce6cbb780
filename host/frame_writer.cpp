// PNG frame sequences and the ffmpeg pipe.
#include "frame_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "interrupt.h"
#include "tool_error.h"

extern char **environ;

namespace qvt::host {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string errnoText(int error) { return std::strerror(error); }

fs::path folderOf(const std::string &path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// A path as ffmpeg must be given it to take it as a file: its own "file:"
// protocol before the absolute path, so that nothing in a name ("pipe:",
// "http:", any colon) is ever read as another protocol.
std::string ffmpegFile(const fs::path &path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return "file:" + (ec ? path : full).string();
}

// An empty file of a name made from `pattern` (ending in XXXXXX) in the
// folder, with the mode a new file gets.
std::string makeTempFile(const fs::path &folder, const std::string &pattern) {
    std::string name = (folder / pattern).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw ToolError("cannot write to folder " + folder.string() + ": " + errnoText(errno));
    // mkstemp makes a private file; the result gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return name;
}

// One run per output: an exclusive lock, taken without waiting, on a hidden
// file beside the output. The file is removed while the lock is still held,
// so a run that opened it just before must see that it has gone and try
// again with a new one.
class OutputLock {
public:
    OutputLock(const fs::path &folder, const std::string &lockName, const std::string &output) {
        path_ = (folder / lockName).string();
        for (int attempt = 0;; ++attempt) {
            const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0) throw ToolError("cannot write to folder " + folder.string() + ": " + errnoText(errno));
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int error = errno;
                ::close(fd);
                if (error == EWOULDBLOCK) throw ToolError("cannot write " + output + ": another qvt run is writing it");
                throw ToolError("cannot lock " + path_ + ": " + errnoText(error));
            }
            struct stat held {}, named {};
            if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                held.st_ino == named.st_ino) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            if (attempt == 100) throw ToolError("cannot lock " + path_ + ": it keeps changing");
        }
    }
    ~OutputLock() {
        ::unlink(path_.c_str());
        ::close(fd_);
    }
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;

private:
    std::string path_;
    int fd_ = -1;
};

// The files in the folder that are frames of the target's pattern, by frame
// number (folders and other things of such a name are none).
std::map<int, std::string> framesIn(const fs::path &folder, const OutputTarget &target) {
    std::map<int, std::string> frames;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int index = target.FrameIndex(name);
        std::error_code typeError;
        if (index >= 0 && (it->is_regular_file(typeError) || it->is_symlink(typeError))) frames[index] = name;
    }
    return frames;
}

// Numbered PNG files, written into a hidden staging folder beside their
// destination and moved into place at the end.
class PngFramesWriter : public FrameWriter {
public:
    PngFramesWriter(const OutputTarget &target, bool overwrite) : target_(target), overwrite_(overwrite) {
        const fs::path folder = target.folder.empty() ? fs::path(".") : fs::path(target.folder);
        folders_.Ensure(folder.string());
        try {
            // Patterns that differ only in the number's width name the same
            // files from frame 10^N on: they share a lock.
            const std::string number = target.digits ? "%0" + std::to_string(target.digits) + "d" : "%d";
            lock_ = std::make_unique<OutputLock>(folder, "." + target.prefix + "%d" + target.suffix + ".qvt-lock",
                                                 (folder / (target.prefix + number + target.suffix)).string());
            if (!overwrite) {
                const std::map<int, std::string> old = framesIn(folder, target);
                if (!old.empty())
                    throw ToolError("output " + target.Pattern() + " already holds " + std::to_string(old.size()) +
                                    (old.size() == 1 ? " frame (" : " frames (") + old.begin()->second +
                                    (old.size() == 1 ? ")" : " ...)") + "; use -y to overwrite");
            }
            std::string pattern = (folder / ".qvt-frames-XXXXXX").string();
            if (!::mkdtemp(pattern.data()))
                throw ToolError("cannot write to folder " + folder.string() + ": " + errnoText(errno));
            staging_ = pattern;
        } catch (...) {
            lock_.reset();
            folders_.RemoveAll();
            throw;
        }
        folder_ = folder;
    }
    ~PngFramesWriter() override {
        if (!committed_) {
            for (const std::string &name : names_) ::unlink((staging_ / name).c_str());
            ::rmdir(staging_.c_str());
        }
        lock_.reset();
        if (!committed_) folders_.RemoveAll();
    }

    void Write(const RgbImage &frame) override {
        ThrowIfStopped();
        const std::string name = target_.FrameName(static_cast<int>(names_.size()));
        std::string error;
        if (!WritePng((staging_ / name).string(), frame, error)) {
            throw ToolError("cannot write " + (folder_ / name).string() + ": " + error.substr(error.rfind(": ") + 2));
        }
        names_.push_back(name);
    }

    // Every frame goes into place, or none does and the files that were
    // there stay as they were: a name that holds anything but a file fails
    // the run before anything moves, and the files a frame replaces are
    // moved into the staging folder first, so that a failed move can put
    // them back.
    std::vector<std::string> Commit() override {
        ThrowIfStopped();
        for (const std::string &name : names_) {
            const fs::path to = folder_ / name;
            struct stat st {};
            if (::lstat(to.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                throw ToolError("cannot write " + to.string() + ": " + errnoText(S_ISDIR(st.st_mode) ? EISDIR : EEXIST));
        }
        std::vector<bool> replaced;
        for (const std::string &name : names_) {
            const fs::path to = folder_ / name, from = staging_ / name, old = staging_ / (name + ".old");
            const bool hadOld = ::rename(to.c_str(), old.c_str()) == 0;
            int error = hadOld || errno == ENOENT ? 0 : errno;
            if (!error && ::rename(from.c_str(), to.c_str()) != 0) {
                error = errno;
                if (hadOld) ::rename(old.c_str(), to.c_str());
            }
            if (error) {
                undo(replaced);
                throw ToolError("cannot write " + to.string() + ": " + errnoText(error));
            }
            replaced.push_back(hadOld);
        }
        std::vector<std::string> written;
        for (size_t i = 0; i < names_.size(); ++i) {
            if (replaced[i]) ::unlink((staging_ / (names_[i] + ".old")).c_str());
            written.push_back((folder_ / names_[i]).string());
        }
        const int count = static_cast<int>(names_.size());
        names_.clear();
        ::rmdir(staging_.c_str());
        folders_.Keep();
        committed_ = true;
        if (overwrite_) removeFramesFrom(count);
        return written;
    }

private:
    // Removes the frames of an earlier run numbered `first` or more; a frame
    // that stays would join the new run for whoever reads the pattern.
    void removeFramesFrom(int first) {
        for (const auto &[index, name] : framesIn(folder_, target_)) {
            if (index < first) continue;
            const fs::path stale = folder_ / name;
            if (::unlink(stale.c_str()) != 0 && errno != ENOENT)
                throw ToolError("cannot remove " + stale.string() + ", a frame of an earlier run: " +
                                errnoText(errno));
        }
    }

    // Takes the frames moved so far back into the staging folder and puts
    // the files they replaced where they were.
    void undo(const std::vector<bool> &replaced) {
        for (size_t i = replaced.size(); i-- > 0;) {
            const fs::path to = folder_ / names_[i];
            ::rename(to.c_str(), (staging_ / names_[i]).c_str());
            if (replaced[i]) ::rename((staging_ / (names_[i] + ".old")).c_str(), to.c_str());
        }
    }

    OutputTarget target_;
    bool overwrite_;
    CreatedFolders folders_;
    std::unique_ptr<OutputLock> lock_;
    fs::path folder_, staging_;
    std::vector<std::string> names_;
    bool committed_ = false;
};

// ffmpeg reading raw RGB frames from a pipe and writing one file. A GIF is
// made in two passes over the same frames, each in bounded memory: the first
// makes the palette from every frame (palettegen keeps a colour histogram,
// not the frames), the second maps the frames onto it.
class FfmpegWriter : public FrameWriter {
public:
    FfmpegWriter(const OutputTarget &target, int width, int height, double fps, bool overwrite)
        : target_(target), width_(width), height_(height), fps_(fps) {
        ffmpeg_ = FindProgram("ffmpeg");
        if (ffmpeg_.empty())
            throw ToolError("ffmpeg not found on PATH: it makes the .gif, .apng, .webm and .mp4 files (install the "
                            "ffmpeg package, or write PNG frames)");
        if (target.kind == OutputKind::Mp4 && (width % 2 || height % 2))
            throw ToolError("an .mp4 needs an even width and height, not " + std::to_string(width) + "x" +
                            std::to_string(height));
        struct stat existing {};
        if (!overwrite && ::lstat(target.path.c_str(), &existing) == 0)
            throw ToolError("output " + target.path + " exists; use -y to overwrite it");
        const fs::path folder = folderOf(target.path);
        const std::string name = fs::path(target.path).filename().string();
        folders_.Ensure(folder.string());
        try {
            lock_ = std::make_unique<OutputLock>(folder, "." + name + ".qvt-lock", target.path);
            temp_ = makeTempFile(folder, "." + name + ".qvt-XXXXXX");
            if (target.kind == OutputKind::Gif) palette_ = makeTempFile(folder, "." + name + ".qvt-palette-XXXXXX");
            log_ = std::tmpfile();
            report_ = std::tmpfile();
            if (!log_ || !report_) throw ToolError("cannot start ffmpeg: " + errnoText(errno));
            start(passArguments());
        } catch (...) {
            cleanUp();
            throw;
        }
    }

    ~FfmpegWriter() override { cleanUp(); }

    int Passes() const override { return target_.kind == OutputKind::Gif ? 2 : 1; }

    void NextPass() override {
        const int status = finish();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw ToolError("ffmpeg failed" + failureText());
        struct stat st {};
        if (::stat(palette_.c_str(), &st) != 0 || st.st_size != kPaletteBytes)
            throw ToolError("ffmpeg made no palette for " + target_.path);
        firstPassFrames_ = frames_;
        frames_ = 0;
        ++pass_;
        for (FILE *f : {log_, report_}) {
            std::rewind(f);
            if (::ftruncate(fileno(f), 0) != 0) throw ToolError("cannot start ffmpeg: " + errnoText(errno));
        }
        start(passArguments());
    }

    void Write(const RgbImage &frame) override {
        ThrowIfStopped();
        if (frame.width != width_ || frame.height != height_ || frame.rgb.size() != frameBytes())
            throw ToolError("a frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                            " for a video of " + std::to_string(width_) + "x" + std::to_string(height_));
        const uint8_t *p = frame.rgb.data();
        size_t left = frameBytes();
        while (left > 0) {
            ssize_t n = ::write(pipe_, p, left);
            if (n < 0 && errno == EINTR) {
                ThrowIfStopped();
                continue;
            }
            if (n <= 0) {
                // ffmpeg has stopped reading: it failed.
                finish();
                throw ToolError("ffmpeg stopped before the last frame" + failureText());
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        ++frames_;
    }

    // Succeeds only once ffmpeg has said that it wrote every frame fed to it
    // and the file is in place.
    std::vector<std::string> Commit() override {
        ThrowIfStopped();
        if (Passes() == 2 && frames_ != firstPassFrames_)
            throw ToolError("the run gave " + std::to_string(frames_) + " frames for " + target_.path + ", not the " +
                            std::to_string(firstPassFrames_) + " of its first pass");
        const int status = finish();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw ToolError("ffmpeg failed" + failureText());
        const long long reported = reportedFrames();
        if (reported < 0) throw ToolError("ffmpeg did not report writing " + target_.path + failureText());
        if (reported != frames_)
            throw ToolError("ffmpeg wrote " + std::to_string(reported) + " of the " + std::to_string(frames_) +
                            " frames to " + target_.path + failureText());
        struct stat st {};
        if (::stat(temp_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            throw ToolError("ffmpeg wrote nothing to " + target_.path + failureText());
        if (::rename(temp_.c_str(), target_.path.c_str()) != 0)
            throw ToolError("cannot write " + target_.path + ": " + errnoText(errno));
        temp_.clear();
        committed_ = true;
        folders_.Keep();
        cleanUp();
        return {target_.path};
    }

private:
    static constexpr off_t kPaletteBytes = 16 * 16 * 4; // palettegen's 16 x 16 picture, as RGBA

    size_t frameBytes() const { return static_cast<size_t>(width_) * height_ * 3; }

    // Stops ffmpeg if it still runs and removes everything not committed.
    void cleanUp() {
        if (pipe_ >= 0) ::close(pipe_);
        pipe_ = -1;
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
        for (FILE **f : {&log_, &report_})
            if (*f) {
                std::fclose(*f);
                *f = nullptr;
            }
        for (std::string *file : {&temp_, &palette_})
            if (!file->empty()) {
                ::unlink(file->c_str());
                file->clear();
            }
        lock_.reset();
        if (!committed_) folders_.RemoveAll();
    }

    // ffmpeg's arguments for the current pass.
    std::vector<std::string> passArguments() const {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.9g", fps_);
        std::vector<std::string> args = {
            ffmpeg_,         "-hide_banner", "-nostats",    "-loglevel",
            "error",         "-progress",    "pipe:1",      "-y",
            "-f",            "rawvideo",     "-pixel_format", "rgb24",
            "-video_size",   std::to_string(width_) + "x" + std::to_string(height_),
            "-framerate",    rate,           "-i",          "pipe:0"};
        const auto add = [&](std::initializer_list<std::string> more) { args.insert(args.end(), more); };
        switch (target_.kind) {
        case OutputKind::Gif:
            if (pass_ == 0) {
                // One palette for the whole run, made from every frame.
                add({"-vf", "palettegen=stats_mode=full", "-f", "rawvideo", "-pix_fmt", "rgba", ffmpegFile(palette_)});
                return args;
            }
            add({"-f", "rawvideo", "-pixel_format", "rgba", "-video_size", "16x16", "-i", ffmpegFile(palette_),
                 "-filter_complex", "[0:v][1:v]paletteuse", "-loop", "0", "-f", "gif"});
            break;
        case OutputKind::Apng: add({"-c:v", "apng", "-plays", "0", "-f", "apng"}); break;
        case OutputKind::Webm:
            add({"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-crf", "30", "-b:v", "0", "-row-mt", "1", "-deadline",
                 "good", "-cpu-used", "4", "-f", "webm"});
            break;
        case OutputKind::Mp4:
            add({"-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18", "-preset", "medium", "-movflags",
                 "+faststart", "-f", "mp4"});
            break;
        case OutputKind::PngFrames:
        case OutputKind::Null:
        case OutputKind::PngStream: break;
        }
        args.push_back(ffmpegFile(temp_));
        return args;
    }

    void start(std::vector<std::string> args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw ToolError("cannot start ffmpeg: " + errnoText(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fileno(report_), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fileno(log_), STDERR_FILENO);
        // A process group of its own: a Ctrl-C at the terminal reaches qvt
        // alone, which then stops ffmpeg and removes what it wrote, rather
        // than ffmpeg finishing a file of its own accord.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int error = ::posix_spawn(&pid, ffmpeg_.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        if (error != 0) {
            ::close(fds[1]);
            throw ToolError("cannot start " + ffmpeg_ + ": " + errnoText(error));
        }
        pid_ = pid;
        pipe_ = fds[1];
    }

    // Ends the input and waits for ffmpeg; its exit status. A stop signal
    // ends the wait with Interrupted, leaving ffmpeg to cleanUp.
    int finish() {
        if (pipe_ >= 0) ::close(pipe_);
        pipe_ = -1;
        if (pid_ > 0) {
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0) {
                if (errno != EINTR) break;
                ThrowIfStopped();
            }
            pid_ = -1;
            finishedStatus_ = status;
        }
        return finishedStatus_;
    }

    // The frame count of ffmpeg's last progress report, or -1 when it made
    // none.
    long long reportedFrames() {
        std::fflush(report_);
        std::rewind(report_);
        long long frames = -1;
        char line[256];
        while (std::fgets(line, sizeof line, report_)) {
            long long n = 0;
            if (std::sscanf(line, "frame=%lld", &n) == 1) frames = n;
        }
        return frames;
    }

    // ": " and ffmpeg's first line of complaint, if it said anything.
    std::string failureText() {
        if (!log_) return "";
        std::fflush(log_);
        std::rewind(log_);
        char line[512];
        while (std::fgets(line, sizeof line, log_)) {
            std::string text = line;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            if (!text.empty()) return ": " + text;
        }
        return "";
    }

    OutputTarget target_;
    int width_, height_;
    double fps_;
    std::string ffmpeg_;
    CreatedFolders folders_;
    std::unique_ptr<OutputLock> lock_;
    std::string temp_, palette_;
    FILE *log_ = nullptr;
    FILE *report_ = nullptr;
    int pipe_ = -1;
    pid_t pid_ = -1;
    int finishedStatus_ = 0;
    int pass_ = 0;
    long long frames_ = 0, firstPassFrames_ = 0;
    bool committed_ = false;
};

// Each frame a PNG file of its own on standard output, for a program that
// reads them one after the other (ffmpeg -f image2pipe -i -).
class PngStreamWriter : public FrameWriter {
public:
    explicit PngStreamWriter(double fps) {
        if (::isatty(STDOUT_FILENO) == 1) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.9g", fps);
            throw ToolError("-o - writes PNG pictures to standard output, which is a terminal: send them to a "
                            "program that reads them, e.g. | ffmpeg -f image2pipe -framerate " +
                            std::string(rate) + " -i - out.mp4");
        }
    }

    void Write(const RgbImage &frame) override {
        ThrowIfStopped();
        std::string error;
        if (!EncodePng(frame, bytes_, error)) throw ToolError("cannot write to standard output: " + error);
        const uint8_t *p = bytes_.data();
        size_t left = bytes_.size();
        while (left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, left);
            if (n < 0 && errno == EINTR) {
                ThrowIfStopped();
                continue;
            }
            if (n <= 0) throw ToolError("cannot write to standard output: " + errnoText(n < 0 ? errno : EIO));
            p += n;
            left -= static_cast<size_t>(n);
        }
    }

    std::vector<std::string> Commit() override {
        ThrowIfStopped();
        return {};
    }

private:
    std::vector<uint8_t> bytes_;
};

} // namespace

int OutputTarget::FrameIndex(const std::string &name) const {
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return -1;
    const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int index = std::stoi(number);
    return FrameName(index) == name ? index : -1;
}

std::string OutputTarget::Pattern() const {
    const auto escaped = [](const std::string &text) {
        std::string out;
        for (char ch : text) out += ch == '%' ? std::string("%%") : std::string(1, ch);
        return out;
    };
    const std::string number = digits ? "%0" + std::to_string(digits) + "d" : "%d";
    const std::string name = escaped(prefix) + number + escaped(suffix);
    return folder.empty() ? name : (fs::path(folder) / name).string();
}

std::string OutputTarget::FrameName(int index) const {
    std::string number = std::to_string(index);
    if (static_cast<int>(number.size()) < digits) number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
    return prefix + number + suffix;
}

OutputTarget ParseOutput(const std::string &out) {
    if (out.empty()) throw ToolError("no output given");
    OutputTarget target;
    if (out == "null") {
        target.kind = OutputKind::Null;
        return target;
    }
    if (out == "-") {
        target.kind = OutputKind::PngStream;
        return target;
    }
    const fs::path path(out);
    std::error_code ec;
    const bool isFolder = out.back() == '/' || fs::is_directory(path, ec);
    const std::string name = path.filename().string();
    const std::string ext = isFolder ? std::string() : lower(path.extension().string());
    if (isFolder || ext.empty()) {
        target.folder = out;
        target.prefix = "frame";
        target.suffix = ".png";
        return target;
    }
    if (ext == ".gif" || ext == ".apng" || ext == ".webm" || ext == ".mp4") {
        target.kind = ext == ".gif"    ? OutputKind::Gif
                      : ext == ".apng" ? OutputKind::Apng
                      : ext == ".webm" ? OutputKind::Webm
                                       : OutputKind::Mp4;
        target.path = out;
        return target;
    }
    if (ext != ".png")
        throw ToolError("unknown output type '" + ext +
                        "': use a PNG pattern such as out/f%04d.png, a folder, or a "
                        ".gif, .apng, .webm or .mp4 file");
    if (path.parent_path().string().find('%') != std::string::npos)
        throw ToolError("output " + out + ": a frame number can only be in the file name");
    // The file name: text, one number conversion %d or %0Nd, text; %% is a
    // percent sign.
    std::string *part = &target.prefix;
    bool haveNumber = false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *part += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        int digits = 0;
        if (j < name.size() && name[j] == '0') {
            ++j;
            if (j < name.size() && name[j] >= '1' && name[j] <= '9') digits = name[j++] - '0';
        }
        if (haveNumber || j >= name.size() || name[j] != 'd' || (name[i + 1] == '0' && digits == 0))
            throw ToolError("output " + out + ": the file name needs exactly one frame number, %d or %0Nd (N 1 to 9)");
        haveNumber = true;
        target.digits = digits;
        part = &target.suffix;
        i = j;
    }
    if (!haveNumber)
        throw ToolError("output " + out +
                        " names one PNG file, but a run has many frames: use a pattern such as "
                        "f%04d.png, or a folder");
    target.folder = path.parent_path().string();
    return target;
}

void CreatedFolders::Ensure(const std::string &folderName) {
    const fs::path folder(folderName);
    if (folder.empty()) return;
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
        std::error_code ec;
        if (fs::exists(p, ec)) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            RemoveAll();
            throw ToolError("cannot create folder " + it->string() + ": " + errnoText(error));
        }
        created_.push_back(it->string());
    }
    struct stat st {};
    const int error = ::stat(folder.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (error) {
        RemoveAll();
        throw ToolError("cannot use folder " + folder.string() + ": " + errnoText(error));
    }
}

void CreatedFolders::RemoveAll() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) ::rmdir(it->c_str());
    created_.clear();
}

// Renders for nothing: every frame is dropped.
class NullWriter : public FrameWriter {
public:
    bool WantsPixels() const override { return false; }
    void Write(const RgbImage &) override {}
    std::vector<std::string> Commit() override { return {}; }
};

std::unique_ptr<FrameWriter> OpenFrameWriter(const OutputTarget &target, int width, int height, double fps,
                                             const WriterOptions &options) {
    if (!(std::isfinite(fps) && fps > 0)) throw ToolError("the frame rate must be a positive number");
    if (target.kind == OutputKind::Null) return std::make_unique<NullWriter>();
    if (target.kind == OutputKind::PngStream) return std::make_unique<PngStreamWriter>(fps);
    if (target.kind == OutputKind::PngFrames) return std::make_unique<PngFramesWriter>(target, options.overwrite);
    return std::make_unique<FfmpegWriter>(target, width, height, fps, options.overwrite);
}

std::string FindProgram(const std::string &name) {
    const char *path = std::getenv("PATH");
    if (!path) return "";
    std::string entries = path;
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(':', start);
        if (end == std::string::npos) end = entries.size();
        std::string folder = entries.substr(start, end - start);
        if (folder.empty()) folder = ".";
        const std::string candidate = folder + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

} // namespace qvt::host
