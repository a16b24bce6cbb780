// The writer of effect parameter records: the counterpart of qvtPers.
//
// WritePropertyList writes an object's property list in the
// component-property binary format, the way the run-time library's writer
// does: published properties in declaration order (ancestors first), only
// stored ones, ordinals and sets only when they differ from their declared
// default (always when there is none), strings only when non-empty, floats
// only when non-zero, integers in the smallest of the three widths,
// enumerations by value name, Booleans as vaFalse/vaTrue; an object held in
// a published property as its own properties under the prefix "Name."; then
// the object's defined binary properties (a bitmap's "Data"); then the zero
// byte that ends the list. Properties without a setter are left out (a
// reader could not assign them); objects are written whatever their
// property's setter, because a reader changes them in place.
//
// TransitionToParams puts the record header in front and writes the bytes
// as upper-case hexadecimal digit pairs. A list that opens with Milliseconds
// gets the short version "2" form whenever the value fits in 16 bits:
// Milliseconds is then written as a 16-bit integer even when 8 bits would
// do (any width reads back the same), and the 14 bytes that every version
// "2" record implies are left out. Everything else is version "1".
#ifndef QVT_PERSIST_QVTWRITER_H
#define QVT_PERSIST_QVTWRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TransEff.h"

namespace qvt {

// The property list of object, end-of-list byte included. Raises
// ETransitionEffectError when a value cannot be written: an enumeration or
// set holding an ordinal that has no name (nothing would read it back).
std::vector<uint8_t> WritePropertyList(const rtl::TPersistent &object);

// The parameter record of effect. Raises ETransitionEffectError when the
// effect's class has no code in the record format, or as WritePropertyList.
std::string TransitionToParams(const TTransitionEffect &effect);

// The 10-byte x87 extended value nearest to value (exact for every double),
// little-endian, as the vaExtended type stores floats.
void DoubleToExtended(double value, uint8_t bytes[10]);

} // namespace qvt

#endif
