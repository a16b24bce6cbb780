// The property catalogue: what a parameter record can say about each effect
// class. For every registered transition class it gives the class name, its
// class code, its display name and the properties a record can carry, each
// with its kind, the value of a new effect and what its setter accepts; and
// it checks and applies a property value given as text.
//
// Everything is found from the class metadata and from new instances, so an
// effect class appears here as soon as it is registered. What a setter
// accepts is found out, not declared: for enumerations (Booleans and sets
// included) each value is set on a new instance and read back; for integers
// the range comes from the property's metadata (DeclareClass::Range; none =
// the storage type's whole range).
//
// Listed are the stored properties that have a setter, the properties of
// objects that a new effect holds in published properties (as
// "Object.Property"), and defined binary properties (a bitmap's
// "Mask.Data"): exactly what WritePropertyList writes and a reader reads.
#ifndef QVT_PERSIST_QVTCATALOG_H
#define QVT_PERSIST_QVTCATALOG_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransEff.h"

namespace qvt {

// A value given as text that a property does not take; the message says what
// it accepts.
class EPropertyValueError : public ETransitionEffectError {
public:
    using ETransitionEffectError::ETransitionEffectError;
};

enum class TPropertyKind { Integer, Boolean, Enumeration, Set, String, Float, Binary };
// "integer", "boolean", "enumeration", "set", "string", "float", "binary".
std::string_view PropertyKindName(TPropertyKind kind);

struct TPropertyDescription {
    std::string Name; // dotted for a property of a held object ("Mask.Data")
    TPropertyKind Kind = TPropertyKind::Integer;
    // The value of a new effect, as PropertyValueText gives it.
    std::string Default;
    // The declared default: a value equal to it is not written. Empty when
    // there is none (ordinals then are always written) and for strings,
    // floats and binary data (written when non-empty / non-zero).
    std::string StoredDefault;
    // Enumerations, Booleans and sets: every value name in ordinal order,
    // and those the setter takes on a new effect.
    std::vector<std::string> Values;
    std::vector<std::string> Accepted;
    // Integers: the values the setter takes.
    int64_t Min = 0;
    int64_t Max = 0;
    // What the property accepts, for people: "-2147483648..2147483647",
    // "tedRight, tedLeft", "any text", ...
    std::string Allowed;
};

struct TTransitionDescription {
    std::string ClassName;
    std::string Code;      // two digits; empty when the record format has none
    std::string ShortName; // the code table's name; empty without a code
    std::string DisplayName;
    const rtl::TClassInfo *Class = nullptr;
    std::vector<TPropertyDescription> Properties;

    // Case-insensitive; nullptr when there is none.
    const TPropertyDescription *FindProperty(std::string_view name) const;
};

// The description of one concrete effect class (registered or not).
TTransitionDescription DescribeTransition(const rtl::TClassInfo &cls);
// Every registered transition class, in registration order.
std::vector<TTransitionDescription> TransitionCatalogue();
// An entry by class code, class name, short name or display name (names
// case-insensitively); nullptr when none matches.
const TTransitionDescription *FindTransition(std::span<const TTransitionDescription> catalogue, std::string_view name);

// The current value as text, in the form ApplyPropertyText takes: integers
// in decimal, value names, sets as "[a, b]", strings as they are, floats
// with all their digits. Binary data is described ("(none)", "(54 bytes)"),
// and an enumeration holding an ordinal without a name as "(invalid 255)".
std::string PropertyValueText(const TTransitionEffect &effect, const TPropertyDescription &prop);

// Checks text against what the named property accepts and stores it in
// effect; raises EPropertyValueError with a message saying what is allowed
// (for example "value out of range: Milliseconds accepts
// -2147483648..2147483647", "value not allowed: Direction accepts tedRight,
// tedLeft") and leaves effect unchanged. The value is tried on a copy first,
// so a setter that ignores it in the effect's present state is caught too.
// Integers are decimal; Booleans and value names are matched
// case-insensitively; a set is a list of names, with or without brackets;
// the text of a string is the string itself. Binary data is read from the
// file the text names: for a bitmap's Data a BMP picture (an empty text
// clears the picture), otherwise the data as it is.
void ApplyPropertyText(TTransitionEffect &effect, std::string_view property, std::string_view text);

} // namespace qvt

#endif
