// PNG frame sequences and the ffmpeg pipe.
#include "frame_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

// Creates a folder and its missing parents, remembering which it created so
// that a failed run can take them away again.
class CreatedFolders {
public:
    void Ensure(const fs::path &folder) {
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
            created_.push_back(*it);
        }
        struct stat st {};
        const int error = ::stat(folder.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        if (error) {
            RemoveAll();
            throw ToolError("cannot use folder " + folder.string() + ": " + errnoText(error));
        }
    }
    // Removes the folders created, innermost first, as far as they are empty.
    void RemoveAll() {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) ::rmdir(it->c_str());
        created_.clear();
    }
    void Keep() { created_.clear(); }

private:
    std::vector<fs::path> created_;
};

fs::path folderOf(const std::string &path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Numbered PNG files, written into a hidden staging folder beside their
// destination and moved into place at the end.
class PngFramesWriter : public FrameWriter {
public:
    PngFramesWriter(const OutputTarget &target) : target_(target) {
        const fs::path folder = target.folder.empty() ? fs::path(".") : fs::path(target.folder);
        folders_.Ensure(folder);
        std::string pattern = (folder / ".qvt-frames-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            const int error = errno;
            folders_.RemoveAll();
            throw ToolError("cannot write to folder " + folder.string() + ": " + errnoText(error));
        }
        folder_ = folder;
        staging_ = pattern;
    }
    ~PngFramesWriter() override {
        if (committed_) return;
        for (const std::string &name : names_) ::unlink((staging_ / name).c_str());
        ::rmdir(staging_.c_str());
        folders_.RemoveAll();
    }

    void Write(const RgbImage &frame) override {
        const std::string name = target_.FrameName(static_cast<int>(names_.size()));
        std::string error;
        if (!WritePng((staging_ / name).string(), frame, error)) {
            throw ToolError("cannot write " + (folder_ / name).string() + ": " + error.substr(error.rfind(": ") + 2));
        }
        names_.push_back(name);
    }

    std::vector<std::string> Commit() override {
        std::vector<std::string> written;
        for (const std::string &name : names_) {
            const fs::path to = folder_ / name;
            if (::rename((staging_ / name).c_str(), to.c_str()) != 0) {
                const int error = errno;
                for (const std::string &moved : written) ::unlink(moved.c_str());
                throw ToolError("cannot write " + to.string() + ": " + errnoText(error));
            }
            written.push_back(to.string());
        }
        names_.clear();
        ::rmdir(staging_.c_str());
        folders_.Keep();
        committed_ = true;
        return written;
    }

private:
    OutputTarget target_;
    CreatedFolders folders_;
    fs::path folder_, staging_;
    std::vector<std::string> names_;
    bool committed_ = false;
};

// ffmpeg reading raw RGB frames from a pipe and writing one file.
class FfmpegWriter : public FrameWriter {
public:
    FfmpegWriter(const OutputTarget &target, int width, int height, double fps) : target_(target) {
        const std::string ffmpeg = FindProgram("ffmpeg");
        if (ffmpeg.empty())
            throw ToolError("ffmpeg not found on PATH: it makes the .gif, .apng, .webm and .mp4 files (install the "
                            "ffmpeg package, or write PNG frames)");
        if (target.kind == OutputKind::Mp4 && (width % 2 || height % 2))
            throw ToolError("an .mp4 needs an even width and height, not " + std::to_string(width) + "x" +
                            std::to_string(height));
        const fs::path folder = folderOf(target.path);
        folders_.Ensure(folder);
        std::string temp = (folder / ("." + fs::path(target.path).filename().string() + ".qvt-XXXXXX")).string();
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            const int error = errno;
            folders_.RemoveAll();
            throw ToolError("cannot write to folder " + folder.string() + ": " + errnoText(error));
        }
        // mkstemp makes a private file; the result gets the usual mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        temp_ = temp;
        frameBytes_ = static_cast<size_t>(width) * height * 3;
        try {
            start(ffmpeg, width, height, fps);
        } catch (...) {
            if (log_) std::fclose(log_);
            ::unlink(temp_.c_str());
            folders_.RemoveAll();
            throw;
        }
    }

    ~FfmpegWriter() override {
        if (committed_) return;
        if (pipe_ >= 0) ::close(pipe_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
        }
        if (log_) std::fclose(log_);
        ::unlink(temp_.c_str());
        folders_.RemoveAll();
    }

    void Write(const RgbImage &frame) override {
        const uint8_t *p = frame.rgb.data();
        size_t left = std::min(frameBytes_, frame.rgb.size());
        while (left > 0) {
            ssize_t n = ::write(pipe_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // ffmpeg has stopped reading: it failed.
                finish();
                throw ToolError("ffmpeg stopped before the last frame" + failureText());
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
    }

    std::vector<std::string> Commit() override {
        const int status = finish();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw ToolError("ffmpeg failed" + failureText());
        if (::rename(temp_.c_str(), target_.path.c_str()) != 0)
            throw ToolError("cannot write " + target_.path + ": " + errnoText(errno));
        std::fclose(log_);
        log_ = nullptr;
        folders_.Keep();
        committed_ = true;
        return {target_.path};
    }

private:
    void start(const std::string &ffmpeg, int width, int height, double fps) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.9g", fps);
        std::vector<std::string> args = {
            ffmpeg,          "-hide_banner", "-nostats",    "-loglevel",
            "error",         "-y",           "-f",          "rawvideo",
            "-pixel_format", "rgb24",        "-video_size", std::to_string(width) + "x" + std::to_string(height),
            "-framerate",    rate,           "-i",          "pipe:0"};
        switch (target_.kind) {
        case OutputKind::Gif:
            // One palette for the whole run, made from every frame.
            args.insert(args.end(),
                        {"-filter_complex", "[0:v]split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse",
                         "-loop", "0", "-f", "gif"});
            break;
        case OutputKind::Apng: args.insert(args.end(), {"-c:v", "apng", "-plays", "0", "-f", "apng"}); break;
        case OutputKind::Webm:
            args.insert(args.end(), {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-crf", "30", "-b:v", "0", "-row-mt",
                                     "1", "-deadline", "good", "-cpu-used", "4", "-f", "webm"});
            break;
        case OutputKind::Mp4:
            args.insert(args.end(), {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18", "-preset", "medium",
                                     "-movflags", "+faststart", "-f", "mp4"});
            break;
        case OutputKind::PngFrames:
        case OutputKind::Null: break;
        }
        args.push_back(temp_);

        log_ = std::tmpfile();
        int fds[2];
        if (!log_ || ::pipe2(fds, O_CLOEXEC) != 0) throw ToolError("cannot start ffmpeg: " + errnoText(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fileno(log_), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fileno(log_), STDERR_FILENO);
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int error = ::posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        if (error != 0) {
            ::close(fds[1]);
            throw ToolError("cannot start " + ffmpeg + ": " + errnoText(error));
        }
        pid_ = pid;
        pipe_ = fds[1];
    }

    // Ends the input and waits for ffmpeg; its exit status.
    int finish() {
        if (pipe_ >= 0) ::close(pipe_);
        pipe_ = -1;
        int status = 0;
        if (pid_ > 0) {
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
            finishedStatus_ = status;
        }
        return finishedStatus_;
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
    CreatedFolders folders_;
    std::string temp_;
    size_t frameBytes_ = 0;
    FILE *log_ = nullptr;
    int pipe_ = -1;
    pid_t pid_ = -1;
    int finishedStatus_ = 0;
    bool committed_ = false;
};

} // namespace

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

// Renders for nothing: every frame is dropped.
class NullWriter : public FrameWriter {
public:
    void Write(const RgbImage &) override {}
    std::vector<std::string> Commit() override { return {}; }
};

std::unique_ptr<FrameWriter> OpenFrameWriter(const OutputTarget &target, int width, int height, double fps) {
    if (target.kind == OutputKind::Null) return std::make_unique<NullWriter>();
    if (target.kind == OutputKind::PngFrames) return std::make_unique<PngFramesWriter>(target);
    return std::make_unique<FfmpegWriter>(target, width, height, fps);
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
