#include "TaalJson.h"

#include "model/Vibhags.h"

#include <cmath>
#include <cstdio>

namespace lorvanta::cli {

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            // Control characters and the upper half: the text is Latin-1.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string JsonFloat(float value) {
    if (!std::isfinite(value))
        return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

namespace {

const char* JsonBool(bool value) {
    return value ? "true" : "false";
}

void AppendSound(std::string& out, const CSound& sound) {
    out += "{\"name\": " + JsonString(sound.name);
    out += ", \"id\": " + std::to_string(sound.soundId);
    out += ", \"instrument\": " + std::to_string(sound.instrument);
    out += ", \"emphasis\": " + JsonFloat(sound.emphasis);
    out += '}';
}

void AppendBol(std::string& out, const CBol2& bol) {
    out += "{\"name\": " + JsonString(bol.name);
    out += ", \"index\": " + std::to_string(bol.index);
    out += ", \"duration\": " + JsonFloat(bol.duration);
    out += ", \"reserved\": " + JsonFloat(bol.reserved);
    out += ", \"pitch\": ";
    AppendSound(out, bol.pitch);
    out += ", \"bass\": ";
    AppendSound(out, bol.bass);
    out += '}';
}

} // namespace

std::string TaalToJson(const CLorvantaDoc& doc, const ReadOutcome& outcome,
                       const std::optional<std::string>& message) {
    const CTaal& taal = doc.Taal();
    std::string out = "{\"result\": " + std::to_string(StatusNumber(outcome.result));
    out += ", \"valid\": ";
    out += JsonBool(outcome.valid);
    out += ", \"repaired\": ";
    out += JsonBool(outcome.repaired);
    out += ", \"message\": " + (message ? JsonString(*message) : std::string("null"));
    out += ", \"version\": " + std::to_string(doc.Header().version);
    out += ", \"tempo\": " + JsonFloat(doc.DefaultTempo());
    out += ", \"name\": " + JsonString(taal.Name());
    out += ", \"count\": " + std::to_string(taal.Count());
    out += ", \"total\": " + JsonFloat(taal.Total());
    out += ", \"empty\": ";
    out += JsonBool(doc.IsEmpty());
    out += ", \"bols\": [";
    bool first = true;
    for (const auto& bol : taal.Bols()) {
        if (!first)
            out += ", ";
        first = false;
        AppendBol(out, *bol);
    }
    out += "], \"vibhags\": [";
    first = true;
    for (const Vibhag& vibhag : VibhagsToShow(doc.Params(), taal.Total()).vibhags) {
        if (!first)
            out += ", ";
        first = false;
        out += "{\"beats\": " + std::to_string(vibhag.beats) +
               ", \"mark\": " + JsonString(std::string(1, vibhag.mark)) + "}";
    }
    out += "]}";
    return out;
}

} // namespace lorvanta::cli
