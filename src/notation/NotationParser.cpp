#include "notation/Notation.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace lorvanta {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the decimal number at the start of text: an optional sign, digits with
// an optional point, an optional exponent. Reading stops at the first character
// that cannot continue the number; no number reads as 0. "inf", "nan" and
// hexadecimal forms are no decimal numbers (so "0x1" reads as 0). Returns none
// when the number is too large or too small for a double.
std::optional<double> ReadDecimal(std::string_view text) {
    std::size_t i = 0;
    const std::size_t size = text.size();
    const bool plusSign = i < size && text[i] == '+';
    if (i < size && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    for (; i < size && IsDigit(text[i]); ++i)
        ++digits;
    if (i < size && text[i] == '.') {
        ++i;
        for (; i < size && IsDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (i < size && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < size && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < size && IsDigit(text[j])) {
            while (j < size && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    const char* begin = text.data() + (plusSign ? 1 : 0);
    double value = 0.0;
    const auto [end, error] = std::from_chars(begin, text.data() + i, value);
    if (error != std::errc() || end != text.data() + i)
        return std::nullopt;
    return value;
}

std::optional<Instrument> InstrumentNamed(std::string_view name) {
    if (EqualsIgnoringCase(name, "Tabla"))
        return Tabla;
    if (EqualsIgnoringCase(name, "Pakhawaj"))
        return Pakhawaj;
    return std::nullopt;
}

// A text cut into its instrument and its pieces. Each piece is the span of
// text between two "|" (or the prefix's ":", or the ends), untrimmed.
struct SplitText {
    Instrument instrument = Tabla;
    struct Piece {
        std::size_t begin;
        std::size_t end;
    };
    std::vector<Piece> pieces;
};

SplitText Split(std::string_view text) {
    SplitText split;
    std::size_t bodyStart = 0;
    const auto colon = text.find(':');
    const auto bar = text.find('|');
    if (colon != std::string_view::npos && bar != std::string_view::npos && colon < bar) {
        // A prefix that names no instrument is part of the first bol's name
        // ("Dha: Open Ge | Na" starts with the bol "Dha: Open Ge").
        if (const auto instrument = InstrumentNamed(text.substr(0, colon))) {
            split.instrument = *instrument;
            bodyStart = colon + 1;
        }
    }
    std::size_t begin = bodyStart;
    for (;;) {
        const auto next = text.find('|', begin);
        if (next == std::string_view::npos) {
            split.pieces.push_back({begin, text.size()});
            break;
        }
        split.pieces.push_back({begin, next});
        begin = next + 1;
    }
    // A closing "|" with only whitespace after it ends the text; it makes no
    // silent bol of its own.
    if (split.pieces.size() > 1) {
        const auto& last = split.pieces.back();
        if (Trim(text.substr(last.begin, last.end - last.begin)).empty())
            split.pieces.pop_back();
    }
    return split;
}

} // namespace

std::string NotationErrorMessage(std::uint32_t bolNumber, std::string_view shownPiece) {
    std::string message = "Error in taal at bol no ";
    message += std::to_string(bolNumber);
    message += ", bol: ";
    message += shownPiece;
    return message;
}

std::unique_ptr<CBol2> ParseBolText(std::string_view piece, Instrument instrument,
                                    NotationParseState& state, const BolDictionary& dictionary,
                                    std::string* shownPiece) {
    std::string cleaned(piece);
    std::size_t plusSigns = 0;
    for (char& c : cleaned) {
        if (c == '+') {
            c = ' ';
            ++plusSigns;
        }
    }
    const std::string_view text = Trim(cleaned);
    if (shownPiece)
        *shownPiece = std::string(text);

    std::string_view name = text;
    const auto open = text.find_first_of("[(");
    if (open != std::string_view::npos) {
        name = Trim(text.substr(0, open));
        // Either closing bracket closes either opening one.
        const auto close = text.find_first_of("])");
        if (close == std::string_view::npos)
            return nullptr;
        const std::string_view number =
            close > open ? Trim(text.substr(open + 1, close - open - 1)) : std::string_view();
        const auto duration = ReadDecimal(number);
        if (!duration || *duration < static_cast<double>(kMinTypedDuration) ||
            *duration > static_cast<double>(kMaxTypedDuration))
            return nullptr;
        state.currentDuration = *duration;
    }

    auto bol =
        std::make_unique<CBol2>(std::string(name), state.bolCount,
                                static_cast<float>(state.currentDuration), instrument, dictionary);
    const float emphasis = kEmphasisPerPlus * static_cast<float>(plusSigns);
    bol->pitch.emphasis = emphasis;
    bol->bass.emphasis = emphasis;
    return bol;
}

bool ParseTaalText(std::string_view text, CTaal& taal, MessageSink& sink,
                   const BolDictionary& dictionary) {
    taal.RemoveAll();
    NotationParseState state;
    const SplitText split = Split(text);
    for (const auto& piece : split.pieces) {
        std::string shown;
        auto bol = ParseBolText(text.substr(piece.begin, piece.end - piece.begin), split.instrument,
                                state, dictionary, &shown);
        if (!bol) {
            UserMessage message;
            message.kind = MessageKind::Warning;
            message.buttons = MessageButtons::Ok;
            message.text = NotationErrorMessage(state.bolCount + 1, shown);
            taal.RemoveAll();
            sink.Show(message);
            return false;
        }
        taal.Append(std::move(bol));
        ++state.bolCount;
    }
    return true;
}

std::vector<BolRange> AppliedTextRanges(std::string_view text) {
    const SplitText split = Split(text);
    std::vector<BolRange> ranges;
    ranges.reserve(split.pieces.size());
    for (const auto& piece : split.pieces) {
        BolRange range;
        range.start = static_cast<std::int32_t>(piece.begin);
        // A piece followed by "|" ends before the character in front of it
        // (the space of " | "); the last one runs to the end of the text.
        const std::size_t end = piece.end == text.size()
                                    ? piece.end
                                    : std::max(piece.begin, piece.end == 0 ? 0 : piece.end - 1);
        range.end = static_cast<std::int32_t>(end);
        ranges.push_back(range);
    }
    return ranges;
}

} // namespace lorvanta
