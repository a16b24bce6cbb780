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

} // namespace

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
        size_t nameWidth = 0, defaultWidth = 0;
        for (const TPropertyDescription &p : d.Properties) {
            nameWidth = std::max(nameWidth, p.Name.size());
            defaultWidth = std::max(defaultWidth, shown(p, p.Default).size());
        }
        for (const TPropertyDescription &p : d.Properties)
            out += "    " + padded(p.Name, nameWidth) + "  " + padded(std::string(PropertyKindName(p.Kind)), 11) +
                   "  default " + padded(shown(p, p.Default), defaultWidth) + "  accepts " + p.Allowed + "\n";
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
               ", \"properties\": [";
        for (size_t j = 0; j < d.Properties.size(); ++j) {
            const TPropertyDescription &p = d.Properties[j];
            out += j ? ",\n    {" : "\n    {";
            out += "\"name\": " + JsonString(p.Name) + ", \"kind\": " + JsonString(PropertyKindName(p.Kind)) +
                   ", \"default\": " + JsonString(p.Default) + ", \"allowed\": " + JsonString(p.Allowed);
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
