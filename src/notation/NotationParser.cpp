#include "notation/Notation.h"

#include "model/Text.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace lorvanta {

namespace {

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

// A text cut into its instrument and its pieces, one piece at a time (so
// that a text of millions of "|" costs nothing before the parse stops). Each
// piece is the span of text between two "|" (or the prefix's ":", or the
// ends), untrimmed.
class PieceReader {
public:
    explicit PieceReader(std::string_view text) : m_text(text) {
        const auto colon = text.find(':');
        const auto bar = text.find('|');
        if (colon != std::string_view::npos && bar != std::string_view::npos && colon < bar) {
            // A prefix that names no instrument is part of the first bol's name
            // ("Dha: Open Ge | Na" starts with the bol "Dha: Open Ge").
            if (const auto instrument = InstrumentNamed(text.substr(0, colon))) {
                m_instrument = *instrument;
                m_begin = colon + 1;
            }
        }
    }
    Instrument GetInstrument() const { return m_instrument; }

    struct Piece {
        std::size_t begin;
        std::size_t end;
    };
    // The next piece, or none after the last.
    std::optional<Piece> Next() {
        if (m_done)
            return std::nullopt;
        const auto bar = m_text.find('|', m_begin);
        Piece piece{m_begin, bar == std::string_view::npos ? m_text.size() : bar};
        m_begin = piece.end + 1;
        m_done = bar == std::string_view::npos;
        const bool first = m_first;
        m_first = false;
        // A closing "|" with only whitespace after it ends the text; it makes
        // no silent bol of its own.
        if (m_done && !first && Trim(m_text.substr(piece.begin, piece.end - piece.begin)).empty())
            return std::nullopt;
        return piece;
    }

private:
    std::string_view m_text;
    Instrument m_instrument = Tabla;
    std::size_t m_begin = 0;
    bool m_first = true;
    bool m_done = false;
};

} // namespace

std::string NotationErrorMessage(std::uint32_t bolNumber, std::string_view shownPiece) {
    return FormatMessage(StatusText(NotationStatus::BadBol), FormatDecimal(bolNumber), shownPiece);
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
    // A file holds no emphasis above 20 dB: seven "+" or more give that.
    const float emphasis =
        std::min(kEmphasisPerPlus * static_cast<float>(plusSigns), kMaxNotationEmphasis);
    bol->pitch.emphasis = emphasis;
    bol->bass.emphasis = emphasis;
    return bol;
}

NotationParseResult ParseTaalTextStatus(std::string_view text, CTaal& taal,
                                        const BolDictionary& dictionary) {
    taal.RemoveAll();
    NotationParseState state;
    NotationParseResult result;
    PieceReader reader(text);
    while (const auto piece = reader.Next()) {
        if (state.bolCount >= limits::kMaxBols) {
            result.status = NotationStatus::TaalTooLarge;
            break;
        }
        auto bol = ParseBolText(text.substr(piece->begin, piece->end - piece->begin),
                                reader.GetInstrument(), state, dictionary, &result.shownPiece);
        if (!bol) {
            result.status = NotationStatus::BadBol;
            result.bolNumber = state.bolCount + 1;
            break;
        }
        taal.Append(std::move(bol));
        if (!(taal.Total() <= limits::kMaxBeats)) {
            result.status = NotationStatus::TaalTooLarge;
            break;
        }
        ++state.bolCount;
    }
    if (result.status != NotationStatus::Ok)
        taal.RemoveAll();
    return result;
}

bool ParseTaalText(std::string_view text, CTaal& taal, MessageSink& sink,
                   const BolDictionary& dictionary) {
    const NotationParseResult result = ParseTaalTextStatus(text, taal, dictionary);
    if (result.status == NotationStatus::BadBol)
        sink.Show(
            {MessageKind::Warning, NotationErrorMessage(result.bolNumber, result.shownPiece)});
    else if (result.status != NotationStatus::Ok)
        sink.Show({MessageKind::Warning, StatusText(result.status)});
    return result.status == NotationStatus::Ok;
}

std::vector<BolRange> AppliedTextRanges(std::string_view text) {
    PieceReader reader(text);
    std::vector<BolRange> ranges;
    while (const auto piece = reader.Next()) {
        BolRange range;
        range.start = static_cast<std::int32_t>(piece->begin);
        // A piece followed by "|" ends before the character in front of it
        // (the space of " | "); the last one runs to the end of the text.
        const std::size_t end = piece->end == text.size()
                                    ? piece->end
                                    : std::max(piece->begin, piece->end == 0 ? 0 : piece->end - 1);
        range.end = static_cast<std::int32_t>(end);
        ranges.push_back(range);
    }
    return ranges;
}

} // namespace lorvanta
