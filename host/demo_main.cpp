// Demo: draws the two built-in pages into a window surface on displays of
// several depths and writes what the window shows as PNG files.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "pages.h"
#include "png_io.h"
#include "qvt/qvtdisplay.h"

using namespace qvt::host;

static bool renderPage(Page page, int depth, const std::string &path) {
    const int w = 640, h = 480;
    if (!QvtSetDisplayDepth(depth)) return false;
    HWND wnd = QvtCreateWindow(w, h);
    if (!wnd) return false;
    HDC dc = GetDC(wnd);
    DrawBuiltinPage(dc, page, w, h);
    ReleaseDC(wnd, dc);
    RgbImage img{w, h, std::vector<uint8_t>((size_t)w * h * 3)};
    QvtReadWindowRGB(wnd, img.rgb.data(), w * 3);
    QvtDestroyWindow(wnd);
    std::string error;
    if (!WritePng(path, img, error)) {
        std::fprintf(stderr, "qvt-demo: %s\n", error.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

int main(int argc, char **argv) {
    std::string out = argc > 1 ? argv[1] : "out/demo";
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "qvt-demo: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }
    bool ok = true;
    for (int depth : {32, 16, 8}) {
        ok &= renderPage(Page::Departing, depth, out + "/departing-" + std::to_string(depth) + "bit.png");
        ok &= renderPage(Page::Arriving, depth, out + "/arriving-" + std::to_string(depth) + "bit.png");
    }
    return ok ? 0 : 1;
}
