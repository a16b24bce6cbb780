// The file-based bitmap mask through the plug-in: the record names a file
// that the plug-in asks the host for through the stream access it was given
// (the host stand-in looks in its stream folder).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "grey_bmp.h"
#include "page_bitmaps.h"
#include "pages.h"
#include "plugin_host.h"
#include "qvt/qvtdisplay.h"
#include "record_names.h"

namespace qvt::host {
namespace {

// An 8-bit BMP file, w x h, grey palette, every pixel `level`.
std::vector<uint8_t> GreyBmp(int w, int h, uint8_t level) {
    return test::GreyBmp(w, h, [level](int, int) { return level; });
}

std::string RecordNaming(const std::string &name) {
    return "QVTS101" + test::HexName("OVMaskFileName") + "06" + test::HexName(name) + "00";
}

TEST(PluginMaskFile, OpensTheNamedFileThroughTheHostOrSaysItIsMissing) {
    char pattern[] = "/tmp/qvt-maskfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::vector<uint8_t> white = GreyBmp(3, 3, 255);
    std::ofstream(folder + "/white.bmp", std::ios::binary)
        .write(reinterpret_cast<const char *>(white.data()), static_cast<std::streamsize>(white.size()));

    HostOptions o;
    o.width = 40, o.height = 30;
    o.streamFolder = folder;
    std::string error;
    auto host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
    ASSERT_TRUE(host) << error;
    host->Start();
    HDC dc = GetDC(host->Window());
    DrawBuiltinPage(dc, Page::Departing, 40, 30);
    ReleaseDC(host->Window(), dc);
    const std::vector<uint8_t> before = host->ReadWindow();
    HBITMAP page = test::BuiltinPageBitmap(Page::Arriving, 40, 30);
    const RECT area{0, 0, 40, 30};

    EXPECT_FALSE(host->Render(1, page, area, RecordNaming("absent.bmp").c_str()));
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "File 'absent.bmp' not found.");
    EXPECT_EQ(host->ReadWindow(), before) << "a missing mask drew something";

    host->ClearMessages();
    EXPECT_TRUE(host->Render(1, page, area, RecordNaming("white.bmp").c_str()));
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 40, 30));

    DeleteObject(page);
    host.reset();
    std::filesystem::remove_all(folder);
}

TEST(PluginMaskFile, HostHandsOverAFileItHoldsInMemory) {
    // A mask held under a name that is no file anywhere.
    HostOptions o;
    o.width = 24, o.height = 16;
    o.streams["held mask"] = std::make_shared<const std::vector<uint8_t>>(GreyBmp(2, 2, 0));
    std::string error;
    auto host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
    ASSERT_TRUE(host) << error;
    host->Start();
    HBITMAP page = test::BuiltinPageBitmap(Page::Arriving, 24, 16);
    EXPECT_TRUE(host->Render(1, page, RECT{0, 0, 24, 16}, RecordNaming("held mask").c_str()));
    EXPECT_TRUE(host->Messages().empty()) << host->Messages().front().text;
    EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 24, 16));
    DeleteObject(page);
}

} // namespace
} // namespace qvt::host
