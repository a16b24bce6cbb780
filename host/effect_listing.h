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

// Each class with its code, display name, class name and short name, and a
// line per property: name, kind, default and what it accepts.
std::string CatalogueText(std::span<const TTransitionDescription> catalogue);

// The same as one JSON object:
//   {"effects": [{"code": "03" or null, "className": ..., "shortName": ... or
//   null, "displayName": ..., "properties": [{"name", "kind", "default",
//   "allowed", and "min"/"max" (integers) or "values"/"accepted"
//   (enumerations, Booleans, sets)}]}]}
// Defaults are text as PropertyValueText gives it, the form the property
// options take (binary data only described).
std::string CatalogueJson(std::span<const TTransitionDescription> catalogue);

// "Effect: Alpha blend (TBlendTransition, code 03)" and a line
// "  Name = value" per property, texts in quotes.
std::string EffectText(const TTransitionEffect &effect);

// text as a JSON string literal, quotes included; bytes that are not UTF-8
// become U+FFFD.
std::string JsonString(std::string_view text);

} // namespace qvt::host

#endif
