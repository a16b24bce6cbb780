// Running the qvt program from tests: a scratch folder per test, the
// program's exit status and output, PNG pages and frames, and the pages as a
// display of some depth shows them.
#ifndef QVT_TESTS_TOOL_SUPPORT_H
#define QVT_TESTS_TOOL_SUPPORT_H

#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "gdi_pictures.h"
#include "pages.h"
#include "png_io.h"
#include "qvt/qvtdisplay.h"

extern char **environ;

namespace qvt::tooltest {

namespace fs = std::filesystem;
using host::RgbImage;

// Environment changes for a child: a value sets, nullopt removes.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

inline std::vector<std::string> childEnvironment(const EnvChanges &changes) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name)) env.push_back(entry);
    }
    for (const auto &[name, value] : changes)
        if (value) env.push_back(name + "=" + *value);
    return env;
}

// Starts a program; its standard output and error go to the given
// descriptors (-1: to /dev/null). It runs in `cwd` when one is given.
inline pid_t spawn(const std::vector<std::string> &argv, const EnvChanges &env, int outFd, int errFd,
                   const std::string &cwd = "") {
    std::vector<std::string> args = argv, envStrings = childEnvironment(env);
    std::vector<char *> a, e;
    for (auto &s : args) a.push_back(s.data());
    a.push_back(nullptr);
    for (auto &s : envStrings) e.push_back(s.data());
    e.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = -1;
    // The program is found on the caller's PATH, whatever PATH the child gets.
    int error = posix_spawnp(&pid, a[0], &actions, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

inline int waitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

struct Result {
    int status = -1;
    std::string out, err;
};

// The environment the program under test runs in: leak reports of the
// sanitizer build leave out the system libraries' own.
inline EnvChanges toolEnvironment(EnvChanges env = {}) {
    if (!env.count("LSAN_OPTIONS")) env["LSAN_OPTIONS"] = std::string("suppressions=") + QVT_LSAN_SUPPRESSIONS;
    return env;
}

// Runs a program to its end, capturing what it prints; in `cwd` when one is
// given.
inline Result run(const std::vector<std::string> &argv, const EnvChanges &env, const fs::path &scratch,
                  const std::string &cwd = "") {
    const fs::path outPath = scratch / ".stdout", errPath = scratch / ".stderr";
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Result r;
    pid_t pid = spawn(argv, env, out, err, cwd);
    close(out);
    close(err);
    if (pid > 0) r.status = waitExit(pid);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
}

inline std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// A fresh folder per test, removed afterwards.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qvt-tool-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    Result qvt(std::vector<std::string> args, EnvChanges env = {}, const std::string &cwd = "") {
        args.insert(args.begin(), QVT_TOOL);
        return run(args, toolEnvironment(env), dir, cwd);
    }
    std::string path(const std::string &name) const { return (dir / name).string(); }

    // Everything in the scratch folder, hidden names included.
    std::vector<std::string> entries(const fs::path &folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto &e : fs::recursive_directory_iterator(folder, ec))
            names.push_back(fs::relative(e.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

inline RgbImage readPng(const std::string &path) {
    RgbImage image;
    std::string error;
    EXPECT_TRUE(host::ReadPng(path, image, error)) << error;
    return image;
}

inline void writePng(const std::string &path, const RgbImage &image) {
    std::string error;
    ASSERT_TRUE(host::WritePng(path, image, error)) << error;
}

// A page with every byte value in play: smooth ramps crossed with a
// pseudo-random texture, different for each seed.
inline RgbImage testPage(int width, int height, uint32_t seed) {
    RgbImage image(width, height);
    uint32_t s = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            s = s * 1664525u + 1013904223u;
            uint8_t *p = image.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<uint8_t>(s >> 24);
        }
    return image;
}

// What a window on a display of `depth` bits shows when a picture is copied
// onto it.
inline RgbImage asDisplayed(const RgbImage &picture, int depth) {
    const int w = picture.width, h = picture.height;
    host::PictureBitmap bitmap(picture);
    host::SelectedBitmap dib(nullptr, bitmap.Handle());
    EXPECT_TRUE(QvtSetDisplayDepth(depth));
    HWND wnd = QvtCreateWindow(w, h);
    HDC wdc = GetDC(wnd);
    BitBlt(wdc, 0, 0, w, h, dib.Handle(), 0, 0, SRCCOPY);
    ReleaseDC(wnd, wdc);
    RgbImage out(w, h);
    QvtReadWindowRGB(wnd, out.rgb.data(), w * 3);
    QvtDestroyWindow(wnd);
    QvtSetDisplayDepth(32);
    return out;
}

// What the arriving page looks like on a display of `depth` bits at the end
// of a run: the run keeps it in a bitmap of the display's format, which on a
// 1-bit display is a 1-bit DIB with a black and white colour table (nearest
// colour), while a window of that display converts like a monochrome device.
inline RgbImage arrivingAsDisplayed(const RgbImage &picture, int depth) {
    if (depth != 1) return asDisplayed(picture, depth);
    const int w = picture.width, h = picture.height;
    host::PictureBitmap bitmap(picture);
    host::SelectedBitmap dib(nullptr, bitmap.Handle());
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } bi{{sizeof(BITMAPINFOHEADER), w, h, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void *bits = nullptr;
    HBITMAP mono = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC monoDC = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(monoDC, mono);
    BitBlt(monoDC, 0, 0, w, h, dib.Handle(), 0, 0, SRCCOPY);
    EXPECT_TRUE(QvtSetDisplayDepth(1));
    HWND wnd = QvtCreateWindow(w, h);
    HDC wdc = GetDC(wnd);
    BitBlt(wdc, 0, 0, w, h, monoDC, 0, 0, SRCCOPY);
    ReleaseDC(wnd, wdc);
    RgbImage out(w, h);
    QvtReadWindowRGB(wnd, out.rgb.data(), w * 3);
    QvtDestroyWindow(wnd);
    QvtSetDisplayDepth(32);
    SelectObject(monoDC, old);
    DeleteDC(monoDC);
    DeleteObject(mono);
    return out;
}

// A built-in page as a 32-bit picture.
inline RgbImage builtinPage(host::Page page, int width, int height) {
    host::PictureBitmap bitmap(RgbImage(width, height));
    {
        host::SelectedBitmap dc(nullptr, bitmap.Handle());
        host::DrawBuiltinPage(dc.Handle(), page, width, height);
        GdiFlush();
    }
    return bitmap.Picture();
}

// Where two pictures first differ, for failure messages; empty when equal.
inline std::string firstDifference(const RgbImage &a, const RgbImage &b) {
    if (a.width != b.width || a.height != b.height)
        return "sizes differ: " + std::to_string(a.width) + "x" + std::to_string(a.height) + " vs " +
               std::to_string(b.width) + "x" + std::to_string(b.height);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int k = 0; k < 3; ++k)
                if (a.Pixel(x, y)[k] != b.Pixel(x, y)[k])
                    return "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(k) +
                           ": " + std::to_string(a.Pixel(x, y)[k]) + " vs " + std::to_string(b.Pixel(x, y)[k]);
    return "";
}

inline std::string frameName(int j) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04d.png", j);
    return name;
}

} // namespace qvt::tooltest

#endif
