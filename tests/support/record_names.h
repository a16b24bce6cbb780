// Parameter records in tests: an effect read back from the record it writes,
// a record with one stored name changed (how a test makes the record of a
// value that the class's setter refuses, a direction the effect does not
// take, which the writer itself would never produce), and the catalogue's
// view of a class.
#ifndef QVT_TEST_RECORD_NAMES_H
#define QVT_TEST_RECORD_NAMES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"

namespace qvt::test {

// A short string as a property stream stores it, in a record's hex text:
// its length byte, then its characters.
inline std::string HexName(std::string_view name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : std::string(1, static_cast<char>(name.size())) + std::string(name))
        hex += digits[c >> 4], hex += digits[c & 15];
    return hex;
}

// The effect `record` decodes to once the name `from` in it is `to`.
inline std::unique_ptr<TTransitionEffect> DecodeWithName(std::string record, std::string_view from,
                                                         std::string_view to) {
    const std::string was = HexName(from);
    const size_t at = record.find(was);
    EXPECT_NE(at, std::string::npos) << record << " holds no " << from;
    if (at != std::string::npos) record.replace(at, was.size(), HexName(to));
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    return effect;
}

// The effect the record of `stored` decodes to; null, with a failure, when
// it decodes to another class.
template <class T> std::unique_ptr<T> RoundTrip(const T &stored) {
    const std::string record = TransitionToParams(stored);
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    T *read = dynamic_cast<T *>(effect.get());
    EXPECT_NE(read, nullptr) << record;
    if (read) effect.release();
    return std::unique_ptr<T>(read);
}

// A pattern effect's stored Style, SubStyle and SmoothingLevel, and the
// values its record reads back as.
struct StoredPattern {
    uint16_t style, sub, level;
    uint16_t readStyle, readSub, readLevel;
};

// Each record of a T holding the stored values reads back as the case says:
// the setters refuse what the class does not take and keep the values there
// already.
template <class T> void ExpectStoredPatternsReadAs(std::initializer_list<StoredPattern> cases) {
    for (const StoredPattern &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << c.level);
        T stored(nullptr);
        stored.Style = c.style;
        stored.SubStyle = c.sub;
        stored.SmoothingLevel = c.level;
        const std::unique_ptr<T> read = RoundTrip(stored);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->GetStyle(), c.readStyle);
        EXPECT_EQ(read->GetSubStyle(), c.readSub);
        EXPECT_EQ(read->GetSmoothingLevel(), c.readLevel);
    }
}

// A property as the catalogue describes it: its default and, where given,
// the values it accepts.
struct CataloguedProperty {
    const char *name, *value, *allowed;
};

// The catalogue lists `displayName` as `className` under `code`, with these
// properties.
inline void ExpectCatalogued(const char *displayName, const char *className, const char *code,
                             std::initializer_list<CataloguedProperty> properties) {
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    const TTransitionDescription *entry = FindTransition(catalogue, displayName);
    ASSERT_NE(entry, nullptr) << displayName;
    EXPECT_EQ(entry->DisplayName, displayName);
    EXPECT_EQ(entry->ClassName, className);
    EXPECT_EQ(entry->Code, code);
    for (const CataloguedProperty &p : properties) {
        SCOPED_TRACE(p.name);
        const TPropertyDescription *prop = entry->FindProperty(p.name);
        ASSERT_NE(prop, nullptr);
        EXPECT_EQ(prop->Default, p.value);
        if (p.allowed) {
            EXPECT_EQ(prop->Allowed, p.allowed);
        }
    }
}

} // namespace qvt::test

#endif
