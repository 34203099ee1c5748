#include "model/Vibhags.h"

#include "model/Messages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace lorvanta {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// "1 beat", "7 beats", "7.5 beats".
std::string FormatBeats(double beats) {
    char text[40];
    std::snprintf(text, sizeof text, "%g %s", beats, beats == 1.0 ? "beat" : "beats");
    return text;
}

} // namespace

bool IsVibhagMark(char mark) {
    return mark == 'X' || (mark >= '0' && mark <= '9');
}

VibhagStatus ParseVibhags(std::string_view text, VibhagList& out) {
    out.clear();
    VibhagList parsed;
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && IsSpace(text[at]))
            ++at;
        if (at == text.size())
            break;
        std::size_t end = at;
        while (end < text.size() && !IsSpace(text[end]))
            ++end;
        const std::string_view pair = text.substr(at, end - at);
        at = end;
        // One mark character, a colon, then the beats.
        if (pair.size() < 3 || pair[1] != ':')
            return VibhagStatus::BadText;
        const char mark = pair[0] == 'x' ? 'X' : pair[0];
        int beats = 0;
        const char* first = pair.data() + 2;
        const char* last = pair.data() + pair.size();
        const auto [stop, error] = std::from_chars(first, last, beats);
        if (!IsVibhagMark(mark) || error != std::errc{} || stop != last || beats < 1 ||
            beats > kMaxVibhagBeats)
            return VibhagStatus::BadText;
        if (parsed.size() == kMaxVibhags)
            return VibhagStatus::TooMany;
        parsed.push_back({beats, mark});
    }
    out = std::move(parsed);
    return VibhagStatus::Ok;
}

std::string FormatVibhags(const VibhagList& vibhags) {
    std::string text;
    for (const Vibhag& vibhag : vibhags) {
        if (!text.empty())
            text += ' ';
        text += vibhag.mark;
        text += ':';
        text += std::to_string(vibhag.beats);
    }
    return text;
}

int TotalVibhagBeats(const VibhagList& vibhags) {
    int total = 0;
    for (const Vibhag& vibhag : vibhags)
        total += vibhag.beats;
    return total;
}

VibhagStatus CheckVibhagsFit(const VibhagList& vibhags, float taalLength) {
    if (vibhags.empty())
        return VibhagStatus::Ok;
    // Durations are sums of floats: a length within a thousandth of a beat
    // of the whole count is that count.
    const double difference =
        std::fabs(TotalVibhagBeats(vibhags) - static_cast<double>(taalLength));
    return difference < 1e-3 ? VibhagStatus::Ok : VibhagStatus::DoNotFit;
}

VibhagStatus ParseFittingVibhags(std::string_view text, float taalLength, VibhagList& out) {
    const VibhagStatus status = ParseVibhags(text, out);
    return status == VibhagStatus::Ok ? CheckVibhagsFit(out, taalLength) : status;
}

StoredVibhags ReadVibhagRecord(const CTaalParams& params) {
    const auto& block = params.reserved;
    if (!std::equal(kVibhagRecordTag.begin(), kVibhagRecordTag.end(), block.begin()))
        return {};
    StoredVibhags malformed{VibhagRecordState::Malformed, {}};
    const std::size_t count = block[5];
    if (block[4] != kVibhagRecordVersion || count == 0 || count > kMaxVibhags)
        return malformed;
    VibhagList vibhags;
    vibhags.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kVibhagRecordHeader + 3 * i;
        const int beats = block[at] | (block[at + 1] << 8);
        const char mark = static_cast<char>(block[at + 2]);
        if (beats < 1 || beats > kMaxVibhagBeats || !IsVibhagMark(mark))
            return malformed;
        vibhags.push_back({beats, mark});
    }
    // What follows the record is zero in a record this program wrote.
    const auto tail = block.begin() + static_cast<std::ptrdiff_t>(kVibhagRecordHeader + 3 * count);
    if (std::any_of(tail, block.end(), [](std::uint8_t byte) { return byte != 0; }))
        return malformed;
    return {VibhagRecordState::Valid, std::move(vibhags)};
}

VibhagStatus WriteVibhagRecord(CTaalParams& params, const VibhagList& vibhags) {
    if (vibhags.size() > kMaxVibhags)
        return VibhagStatus::TooMany;
    for (const Vibhag& vibhag : vibhags)
        if (vibhag.beats < 1 || vibhag.beats > kMaxVibhagBeats || !IsVibhagMark(vibhag.mark))
            return VibhagStatus::BadText;
    auto& block = params.reserved;
    block.fill(0);
    if (vibhags.empty())
        return VibhagStatus::Ok;
    std::copy(kVibhagRecordTag.begin(), kVibhagRecordTag.end(), block.begin());
    block[4] = kVibhagRecordVersion;
    block[5] = static_cast<std::uint8_t>(vibhags.size());
    for (std::size_t i = 0; i < vibhags.size(); ++i) {
        const std::size_t at = kVibhagRecordHeader + 3 * i;
        block[at] = static_cast<std::uint8_t>(vibhags[i].beats & 0xFF);
        block[at + 1] = static_cast<std::uint8_t>(vibhags[i].beats >> 8);
        block[at + 2] = static_cast<std::uint8_t>(vibhags[i].mark);
    }
    return VibhagStatus::Ok;
}

ShownVibhags VibhagsToShow(const CTaalParams& params, float taalLength) {
    StoredVibhags stored = ReadVibhagRecord(params);
    ShownVibhags shown;
    switch (stored.state) {
    case VibhagRecordState::Absent:
        return shown;
    case VibhagRecordState::Malformed:
        shown.display = VibhagDisplay::Unreadable;
        return shown;
    case VibhagRecordState::Valid:
        break;
    }
    shown.stored = std::move(stored.vibhags);
    if (CheckVibhagsFit(shown.stored, taalLength) == VibhagStatus::Ok) {
        shown.display = VibhagDisplay::Shown;
        shown.vibhags = shown.stored;
    } else {
        shown.display = VibhagDisplay::DoNotFit;
    }
    return shown;
}

std::vector<int> VibhagStartBeats(const VibhagList& vibhags) {
    std::vector<int> starts;
    starts.reserve(vibhags.size());
    int beat = 0;
    for (const Vibhag& vibhag : vibhags) {
        starts.push_back(beat);
        beat += vibhag.beats;
    }
    return starts;
}

std::string VibhagStatusText(VibhagStatus status, const VibhagList& vibhags, float taalLength) {
    if (status == VibhagStatus::DoNotFit)
        return FormatMessage(StatusText(status), FormatBeats(TotalVibhagBeats(vibhags)),
                             FormatBeats(taalLength));
    return StatusText(status);
}

std::string VibhagDisplayNote(const ShownVibhags& shown, float taalLength) {
    switch (shown.display) {
    case VibhagDisplay::None:
    case VibhagDisplay::Shown:
        return {};
    case VibhagDisplay::Unreadable:
        return "The vibhags stored with this Taal cannot be read; it is shown without them.";
    case VibhagDisplay::DoNotFit:
        return "The stored vibhags (" + FormatVibhags(shown.stored) + ") add up to " +
               FormatBeats(TotalVibhagBeats(shown.stored)) + ", but the Taal is now " +
               FormatBeats(taalLength) + " long: they are kept, and shown again once they fit.";
    }
    return {};
}

} // namespace lorvanta
