// Files opened as read-only streams, as hosts hand them to plug-ins, and
// streams over bytes in memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string tempFile(const std::string &content) {
    char name[] = "/tmp/qvt-stream-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    FILE *f = fdopen(fd, "wb");
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    return name;
}

TEST(FileStream, ReadsSeeksAndRefusesWrites) {
    std::string path = tempFile("0123456789");
    IStream *s = nullptr;
    ASSERT_EQ(SHCreateStreamOnFileA(path.c_str(), STGM_READ, &s), S_OK);
    char buf[8] = {};
    ULONG got = 0;
    EXPECT_EQ(s->lpVtbl->Read(s, buf, 4, &got), S_OK);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    LARGE_INTEGER move{};
    move.QuadPart = -2;
    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->lpVtbl->Seek(s, move, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 8u);
    // A short read at the end is not an error; it reports what it got.
    EXPECT_EQ(s->lpVtbl->Read(s, buf, 8, &got), S_FALSE);
    EXPECT_EQ(got, 2u);
    move.QuadPart = -20;
    EXPECT_NE(s->lpVtbl->Seek(s, move, STREAM_SEEK_CUR, &pos), S_OK); // before the start
    EXPECT_EQ(s->lpVtbl->Write(s, "x", 1, &got), STG_E_ACCESSDENIED);
    EXPECT_EQ(s->lpVtbl->AddRef(s), 2u);
    EXPECT_EQ(s->lpVtbl->Release(s), 1u);
    EXPECT_EQ(s->lpVtbl->Release(s), 0u);
    std::remove(path.c_str());
}

TEST(FileStream, MissingFilesAndBadArgumentsFail) {
    IStream *s = reinterpret_cast<IStream *>(1);
    EXPECT_EQ(SHCreateStreamOnFileA("/nonexistent/qvt", STGM_READ, &s), STG_E_FILENOTFOUND);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(SHCreateStreamOnFileA("/tmp", STGM_READ, &s), STG_E_FILENOTFOUND); // a folder
    EXPECT_EQ(SHCreateStreamOnFileA(nullptr, STGM_READ, &s), E_INVALIDARG);
    EXPECT_EQ(SHCreateStreamOnFileA("/tmp/x", STGM_READ, nullptr), E_POINTER);
}

TEST(MemStream, ReadsWritesAndSeeksOverItsOwnCopy) {
    BYTE init[] = {'a', 'b', 'c', 'd'};
    IStream *s = SHCreateMemStream(init, sizeof init);
    ASSERT_NE(s, nullptr);
    init[0] = 'x'; // the stream holds a copy
    char buf[8] = {};
    ULONG got = 0;
    EXPECT_EQ(s->lpVtbl->Read(s, buf, 8, &got), S_FALSE);
    EXPECT_EQ(std::string(buf, got), "abcd");
    // Writing past the end grows the stream, filling the gap with zeros.
    LARGE_INTEGER move{};
    move.QuadPart = 2;
    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->lpVtbl->Seek(s, move, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(s->lpVtbl->Write(s, "ef", 2, &got), S_OK);
    EXPECT_EQ(got, 2u);
    move.QuadPart = 0;
    EXPECT_EQ(s->lpVtbl->Seek(s, move, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(s->lpVtbl->Read(s, buf, 8, &got), S_OK);
    EXPECT_EQ(std::string(buf, got), std::string("abcd\0\0ef", 8));
    // A write that would take the stream past 4 GiB is refused, not tried.
    move.QuadPart = INT64_C(1) << 40;
    EXPECT_EQ(s->lpVtbl->Seek(s, move, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(s->lpVtbl->Write(s, "x", 1, &got), STG_E_MEDIUMFULL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(s->lpVtbl->Release(s), 0u);

    IStream *empty = SHCreateMemStream(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->lpVtbl->Read(empty, buf, 1, &got), S_FALSE);
    EXPECT_EQ(got, 0u);
    empty->lpVtbl->Release(empty);
    EXPECT_EQ(SHCreateMemStream(nullptr, 3), nullptr);
}

} // namespace
