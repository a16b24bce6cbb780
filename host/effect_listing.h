// What qvt list and qvt describe print: the effect classes with their
// properties, for people or as JSON, and the values of one effect.
#ifndef QVT_HOST_EFFECT_LISTING_H
#define QVT_HOST_EFFECT_LISTING_H

#include <span>
#include <string>
#include <string_view>

#include "engine/TransEff.h"
#include "persist/qvtCatalog.h"

namespace qvt::host {

// What an effect class does, in one line; empty for a class it does not know.
std::string EffectSummary(std::string_view className);

// What a property of an effect class does, in one line; empty for one it
// does not know (better no word than a wrong one).
std::string PropertyMeaning(std::string_view className, std::string_view property);

// Each class with its code, display name, class name and short name, the
// line of what it does, and a line per property: name, kind, default and
// what it accepts, followed by a line of what it does.
std::string CatalogueText(std::span<const TTransitionDescription> catalogue);

// The same as one JSON object:
//   {"effects": [{"code": "03" or null, "className": ..., "shortName": ... or
//   null, "displayName": ..., "description": ... or null, "properties":
//   [{"name", "kind", "default", "allowed", "meaning" (or null), and
//   "min"/"max" (integers) or "values"/"accepted" (enumerations, Booleans,
//   sets)}]}]}
// Defaults are text as PropertyValueText gives it, the form the property
// options take (binary data only described).
std::string CatalogueJson(std::span<const TTransitionDescription> catalogue);

// "Effect: Alpha blend (TBlendTransition, code 03)" and a line
// "  Name = value" per property, texts in quotes.
std::string EffectText(const TTransitionEffect &effect);

// One line on what a parameter record looks like, for those whose record
// was refused.
extern const char kRecordShape[];

// text as a JSON string literal, quotes included; bytes that are not UTF-8
// become U+FFFD.
std::string JsonString(std::string_view text);

} // namespace qvt::host

#endif
