// Streams (positions, short reads, read-only memory) and TList bounds.
#include <cstring>
#include <functional>
#include <vector>

#include "qvt/rtl/exceptions.h"
#include "qvt/rtl/lists.h"
#include "qvt/rtl/streams.h"
#include "runtime_test_support.h"

using namespace qvt::rtl;
using qvt::test::ExpectRaises;

namespace {

std::vector<uint8_t> Contents(TMemoryStream &s) {
    const auto *p = static_cast<const uint8_t *>(s.Memory());
    return std::vector<uint8_t>(p, p + s.Size());
}

TEST(MemoryStream, SeekPositionAndSize) {
    TMemoryStream s;
    const char text[] = "abcdef";
    s.WriteBuffer(text, 6);
    EXPECT_EQ(s.Size(), 6);
    EXPECT_EQ(s.Position(), 6);
    EXPECT_EQ(s.Seek(-2, soFromEnd), 4);
    EXPECT_EQ(s.Seek(-1, soFromCurrent), 3);
    EXPECT_EQ(s.Seek(1, soFromBeginning), 1);
    char c = 0;
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'b');
    EXPECT_EQ(s.Remaining(), 4);
    ExpectRaises<EStreamError>([&] { s.Seek(-1, soFromBeginning); });
    EXPECT_EQ(s.Position(), 2) << "a failed seek leaves the position";

    // Past the end: reading gives nothing, writing zero-fills the gap.
    s.SetPosition(8);
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.Remaining(), 0);
    s.WriteBuffer("z", 1);
    EXPECT_EQ(Contents(s), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 0, 0, 'z'}));

    // Shrinking pulls the position back to the new end.
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(Contents(s), (std::vector<uint8_t>{'a', 'b', 'c'}));
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, ShortReadsRaiseStreamReadError) {
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2) << "Read returns what there is";
    s.SetPosition(1);
    ExpectRaises<EReadError>([&] { s.ReadBuffer(buf, 3); }, "Stream read error");
    ExpectRaises<EReadError>([&] { s.ReadBuffer(buf, -1); }, "Stream read error");
    s.SetPosition(3);
    ExpectRaises<EReadError>([&] { s.ReadLE<uint32_t>(); }, "Stream read error");
    s.ReadBuffer(buf, 0); // nothing asked, nothing missing
}

TEST(MemoryStream, LittleEndianHelpers) {
    TMemoryStream s;
    s.WriteLE<uint32_t>(0x11223344);
    s.WriteLE<int16_t>(-2);
    EXPECT_EQ(Contents(s), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF}));
    s.SetPosition(0);
    EXPECT_EQ(s.ReadLE<uint32_t>(), 0x11223344u);
    EXPECT_EQ(s.ReadLE<int16_t>(), -2);
}

TEST(MemoryStream, CopyFrom) {
    TMemoryStream src, dst;
    src.WriteBuffer("0123456789", 10);
    // Count 0 copies the whole source from its start.
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);
    EXPECT_EQ(dst.Size(), 10);
    // Otherwise count bytes from the source's position; short sources raise.
    src.SetPosition(7);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(src, 3), 3);
    EXPECT_EQ(Contents(part), (std::vector<uint8_t>{'7', '8', '9'}));
    src.SetPosition(8);
    ExpectRaises<EReadError>([&] { part.CopyFrom(src, 3); }, "Stream read error");
}

TEST(ReadOnlyMemoryStream, ReadsCallerMemoryInPlaceAndRefusesWrites) {
    const uint8_t data[] = {1, 2, 3, 4, 5};
    TReadOnlyMemoryStream s(data, sizeof data);
    EXPECT_EQ(s.Memory(), data);
    EXPECT_EQ(s.Size(), 5);
    s.Seek(-2, soFromEnd);
    uint8_t two[2];
    s.ReadBuffer(two, 2);
    EXPECT_EQ(two[0], 4);
    EXPECT_EQ(two[1], 5);
    ExpectRaises<EReadError>([&] { s.ReadBuffer(two, 1); }, "Stream read error");
    ExpectRaises<EWriteError>([&] { s.Write(two, 1); });
    ExpectRaises<EWriteError>([&] { s.WriteBuffer(two, 1); });
    ExpectRaises<EWriteError>([&] { s.SetSize(1); });
    EXPECT_EQ(data[0], 1);
    // Copying out of it works like any stream.
    TMemoryStream copy;
    copy.CopyFrom(s, 0);
    EXPECT_EQ(Contents(copy), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(List, OrderedOperations) {
    int a = 0, b = 0, c = 0;
    TList l;
    EXPECT_EQ(l.Add(&a), 0);
    EXPECT_EQ(l.Add(&c), 1);
    l.Insert(1, &b);
    l.Insert(3, &a); // inserting at Count appends
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Items(1), &b);
    EXPECT_EQ(l.IndexOf(&a), 0);
    EXPECT_EQ(l.Remove(&a), 0); // the first occurrence
    EXPECT_EQ(l.IndexOf(&a), 2);
    EXPECT_EQ(l.Remove(&a), 2);
    EXPECT_EQ(l.Remove(&a), -1);
    l.SetItem(0, &c);
    l.Exchange(0, 1);
    EXPECT_EQ(l.First(), &c);
    EXPECT_EQ(l.Last(), &c);
    EXPECT_EQ(l.Items(0), &c);
    l.Move(0, 1);
    l.Delete(0);
    EXPECT_EQ(l.Count(), 1);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
}

TEST(List, IndexOutOfRangeRaisesListError) {
    int x = 0;
    TList l;
    l.Add(&x);
    l.Add(&x);
    const struct {
        const char *what;
        std::function<void()> op;
        const char *message;
    } cases[] = {
        {"Items(2)", [&] { l.Items(2); }, "List index out of bounds (2)"},
        {"Items(-1)", [&] { l.Items(-1); }, "List index out of bounds (-1)"},
        {"SetItem(5)", [&] { l.SetItem(5, &x); }, "List index out of bounds (5)"},
        {"Delete(2)", [&] { l.Delete(2); }, "List index out of bounds (2)"},
        {"Insert(3)", [&] { l.Insert(3, &x); }, "List index out of bounds (3)"},
        {"Exchange(0, 9)", [&] { l.Exchange(0, 9); }, "List index out of bounds (9)"},
        {"Move(0, 2)", [&] { l.Move(0, 2); }, "List index out of bounds (2)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ExpectRaises<EListError>(c.op, c.message);
    }
    EXPECT_EQ(l.Count(), 2) << "failed operations change nothing";
    TList empty;
    ExpectRaises<EListError>([&] { empty.First(); }, "List index out of bounds (0)");
}

} // namespace
