// Listings of effect classes and effects.
#include "effect_listing.h"

#include <algorithm>
#include <cstdio>

namespace qvt::host {

namespace {

// The length of the UTF-8 sequence at the start of s, 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
size_t utf8Length(std::string_view s) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string shown(const TPropertyDescription &p, const std::string &value) {
    return p.Kind == TPropertyKind::String ? "\"" + value + "\"" : value;
}

bool hasNames(TPropertyKind kind) {
    return kind == TPropertyKind::Boolean || kind == TPropertyKind::Enumeration || kind == TPropertyKind::Set;
}

std::string jsonList(const std::vector<std::string> &items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonString(items[i]);
    return out + "]";
}

std::string jsonOrNull(const std::string &text) { return text.empty() ? "null" : JsonString(text); }

std::string padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

struct Summary {
    std::string_view className, text;
};

// What each effect class does.
constexpr Summary kSummaries[] = {
    {"TBlendTransition", "Fades the departing page into the arriving page (a dithered mix on palette displays)."},
    {"TWipeTransition", "Uncovers the arriving page behind a moving edge: straight and soft, from a corner, or "
                        "closing in from the borders or opening from the centre."},
    {"TSlideTransition", "Moves one page across the other in a straight line, rigidly or squeezed and stretched "
                         "to fit."},
    {"TPushTransition", "Slides the arriving page in from one edge while it pushes the departing page out at the "
                        "other."},
    {"TRollTransition", "Rolls a page like a sheet of paper: the arriving page unrolls over the departing one, or "
                        "the departing page rolls itself up."},
    {"TDripTransition", "Uncovers the arriving page strip by strip while its colours run ahead of the edge like "
                        "wet paint."},
    {"TFuseTransition", "Dissolves into the arriving page through an 8 x 8 pattern whose cells switch on one by "
                        "one, in one of thirteen orders."},
    {"TBmpMaskTransition", "Reveals the arriving page in the order of a grey picture kept in the record: white "
                           "first, black last."},
    {"TBmpMaskTransition2", "Reveals the arriving page in the order of a grey picture read from a mask file: white "
                            "first, black last."},
    {"TBlockTransition", "Reveals the arriving page block by block: at random, row or column scans, snakes or "
                         "spirals, optionally jigsaw-shaped."},
    {"TCircleTransition", "Reveals the arriving page through a circle growing from a centre point, or hides the "
                          "departing page in one shrinking towards it."},
    {"TRadialTransition", "Uncovers the arriving page like a clock face: wedges swept by one, two or four hands "
                          "turning around a pivot."},
    {"TDiagonalTransition", "Reveals the arriving page with 45-degree lines sweeping across, in one front or two."},
    {"TInterlacedTransition", "Reveals the arriving page one line per frame, even and odd lines in separate passes: "
                              "rows, columns or rectangular rings."},
    {"TWaterfallTransition", "Lets the arriving page run over the departing one like water, in streams of random "
                             "speed with a ragged front."},
};

struct Meaning {
    std::string_view className; // empty: any class without a line of its own
    std::string_view property, text;
};

// What each property does; a class's own line comes before the general one.
constexpr Meaning kMeanings[] = {
    {"", "Tag", "A number kept for the host's own use; the effect does not read it."},
    {"", "Enabled", "Stored with the effect for the host; playing does not consult it."},
    {"", "FlickerFreeWhenDisabled", "Stored with the effect for the host; playing does not consult it."},
    {"", "PassSetting", "Whether a style drawn at random is kept for the effect's next run: teTwoPasses keeps "
                        "it, tePaletteDependent only on an 8-bit display, teOnePass draws anew."},
    {"", "Milliseconds", "Duration of the run in milliseconds; 0 or less draws every frame as fast as it can, "
                         "untimed."},
    {"", "Reversed", "Plays the effect the other way round."},
    {"", "Direction", "Where the arriving page moves or grows towards."},
    {"TPushTransition", "Direction", "Where both pages travel: the arriving page enters at the opposite edge."},
    {"", "Style", "The pattern family; 0 draws one at random for each run."},
    {"", "SubStyle", "The variant of the pattern family (where it starts, which way it goes); 0 draws one at "
                     "random for each run."},
    {"TFuseTransition", "Style", "The order in which the pattern's cells switch on (dither order, lines, corner, "
                                 "spiral, diagonals); 0 draws one at random for each run."},
    {"TBlockTransition", "Style", "The order of the blocks: 1 random, 2 row or column scans, 3 snakes, 4 spirals; "
                                  "0 draws one at random for each run."},
    {"TCircleTransition", "Style", "Where the circle is centred: 1 the middle, 2 a corner, 3 the middle of an edge; "
                                   "0 draws one at random for each run."},
    {"TCircleTransition", "SubStyle", "Which corner or edge, and whether the circle grows or shrinks; 0 draws one "
                                      "at random for each run."},
    {"TDiagonalTransition", "Style", "1: one front from corner to corner; 2: two fronts meeting on the middle "
                                     "diagonal or leaving it; 0 draws one at random for each run."},
    {"TRadialTransition", "Style", "Pivot and hands: 1 to 3 the centre with one, two or four hands, 4 and 5 the "
                                   "middle of a side with one or two, 6 and 7 a corner with one or two; 0 draws one "
                                   "at random for each run."},
    {"TRadialTransition", "SubStyle", "Which side or corner, where the hands start and which way they turn; 0 "
                                      "draws one at random for each run."},
    {"TInterlacedTransition", "Style", "1: rows or columns; 2: rectangular rings; 0 draws one at random for each "
                                       "run."},
    {"", "SmoothingLevel", "Softens the pattern's edge into a band that trails behind it: 0 hard, 1 to 6 wider "
                           "(on displays of 15 bits or more)."},
    {"TBmpMaskTransition", "SmoothingLevel", "0 switches each grey level at once; 1 to 5 fade it in over more "
                                             "frames."},
    {"TBmpMaskTransition2", "SmoothingLevel", "0 switches each grey level at once; 1 to 5 fade it in over more "
                                              "frames."},
    {"", "Mask.Data", "The mask picture kept in the record (a BMP file); white parts are revealed first."},
    {"", "OVMaskFileName", "Name of the mask picture, which the host hands to the plug-in; white parts are "
                           "revealed first."},
    {"", "BandWidth", "Width in pixels of the soft band in front of a straight edge (other directions have a hard "
                      "edge)."},
    {"", "BlockWidth", "Width of a block in pixels, when Cols is 0."},
    {"", "BlockHeight", "Height of a block in pixels, when Rows is 0."},
    {"", "Cols", "Number of block columns; 0 takes it from BlockWidth."},
    {"", "Rows", "Number of block rows; 0 takes it from BlockHeight."},
    {"", "Dual", "Reveals the order from both of its ends at once."},
    {"", "Puzzle", "Gives the blocks jigsaw-piece shapes."},
    {"", "Size", "Thickness of the roll in pixels, along the direction of travel."},
    {"", "Unroll", "True: the arriving page unrolls over the departing one; False: the departing page rolls up."},
    {"", "Use3D", "Shades the roll like a lit cylinder, on displays of 15 bits or more."},
    {"", "SlideOut", "The departing page slides away, uncovering the arriving one, instead of the arriving page "
                     "sliding in."},
    {"", "ElasticSrc", "Squeezes the departing page into the room it has left, instead of moving it rigidly."},
    {"", "ElasticDst", "Stretches the arriving page over the room it has taken, instead of moving it rigidly."},
};

} // namespace

const char kRecordShape[] =
    "A record is QVTS, the format version 1 or 2, the effect's two-digit class code (qvt list shows them) and its "
    "properties as pairs of hexadecimal digits, e.g. QVTS203E80300.";

std::string EffectSummary(std::string_view className) {
    for (const Summary &s : kSummaries)
        if (s.className == className) return std::string(s.text);
    return "";
}

std::string PropertyMeaning(std::string_view className, std::string_view property) {
    const Meaning *general = nullptr;
    for (const Meaning &m : kMeanings) {
        if (m.property != property) continue;
        if (m.className == className) return std::string(m.text);
        if (m.className.empty()) general = &m;
    }
    return general ? std::string(general->text) : std::string();
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const unsigned char ch = static_cast<unsigned char>(text.front());
        const size_t length = utf8Length(text);
        if (length == 0) {
            out += "\\ufffd";
            text.remove_prefix(1);
            continue;
        }
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch < 0x20 || ch == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", ch);
            out += escaped;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out + "\"";
}

std::string CatalogueText(std::span<const TTransitionDescription> catalogue) {
    std::string out;
    for (const TTransitionDescription &d : catalogue) {
        if (!out.empty()) out += "\n";
        out += (d.Code.empty() ? std::string("--") : d.Code) + "  " + d.DisplayName + " (" + d.ClassName;
        out += d.ShortName.empty() ? std::string(", no record code") : ", " + d.ShortName;
        out += ")\n";
        const std::string summary = EffectSummary(d.ClassName);
        if (!summary.empty()) out += "    " + summary + "\n";
        size_t nameWidth = 0, defaultWidth = 0;
        for (const TPropertyDescription &p : d.Properties) {
            nameWidth = std::max(nameWidth, p.Name.size());
            defaultWidth = std::max(defaultWidth, shown(p, p.Default).size());
        }
        for (const TPropertyDescription &p : d.Properties) {
            out += "    " + padded(p.Name, nameWidth) + "  " + padded(std::string(PropertyKindName(p.Kind)), 11) +
                   "  default " + padded(shown(p, p.Default), defaultWidth) + "  accepts " + p.Allowed + "\n";
            const std::string meaning = PropertyMeaning(d.ClassName, p.Name);
            if (!meaning.empty()) out += "        " + meaning + "\n";
        }
    }
    return out;
}

std::string CatalogueJson(std::span<const TTransitionDescription> catalogue) {
    std::string out = "{\"effects\": [";
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const TTransitionDescription &d = catalogue[i];
        out += i ? ",\n  {" : "\n  {";
        out += "\"code\": " + jsonOrNull(d.Code) + ", \"className\": " + JsonString(d.ClassName) +
               ", \"shortName\": " + jsonOrNull(d.ShortName) + ", \"displayName\": " + JsonString(d.DisplayName) +
               ", \"description\": " + jsonOrNull(EffectSummary(d.ClassName)) + ", \"properties\": [";
        for (size_t j = 0; j < d.Properties.size(); ++j) {
            const TPropertyDescription &p = d.Properties[j];
            out += j ? ",\n    {" : "\n    {";
            out += "\"name\": " + JsonString(p.Name) + ", \"kind\": " + JsonString(PropertyKindName(p.Kind)) +
                   ", \"default\": " + JsonString(p.Default) + ", \"allowed\": " + JsonString(p.Allowed) +
                   ", \"meaning\": " + jsonOrNull(PropertyMeaning(d.ClassName, p.Name));
            if (p.Kind == TPropertyKind::Integer)
                out += ", \"min\": " + std::to_string(p.Min) + ", \"max\": " + std::to_string(p.Max);
            if (hasNames(p.Kind))
                out += ", \"values\": " + jsonList(p.Values) + ", \"accepted\": " + jsonList(p.Accepted);
            out += "}";
        }
        out += d.Properties.empty() ? "]}" : "\n  ]}";
    }
    out += catalogue.empty() ? "]}\n" : "\n]}\n";
    return out;
}

std::string EffectText(const TTransitionEffect &effect) {
    const TTransitionDescription d = DescribeTransition(effect.ClassInfo());
    std::string out = "Effect: " + d.DisplayName + " (" + d.ClassName;
    out += d.Code.empty() ? std::string(", no record code") : ", code " + d.Code;
    out += ")\n";
    for (const TPropertyDescription &p : d.Properties)
        out += "  " + p.Name + " = " + shown(p, PropertyValueText(effect, p)) + "\n";
    return out;
}

} // namespace qvt::host
