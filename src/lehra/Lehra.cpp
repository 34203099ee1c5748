#include "lehra/Lehra.h"
#include "model/Text.h"

#include "lehra/Raags.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace lorvanta {

namespace {

constexpr int kMaxPartsPerBeat = 16;

std::optional<int> ReadInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The melody's words (beats and vibhag marks), each with its line.
struct Word {
    std::string_view text;
    int line = 0;
};

void SplitWords(std::string_view text, int line, std::vector<Word>& words) {
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++at;
        } else if (c == '|') {
            words.push_back({text.substr(at, 1), line});
            ++at;
        } else {
            const auto end = text.find_first_of(" \t\r|", at);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            words.push_back({text.substr(at, stop - at), line});
            at = stop;
        }
    }
}

// A part of a beat: a swara with its octave marks, "-" or "_".
std::optional<int> ReadSwara(std::string_view part) {
    int octave = 0;
    while (!part.empty() && part.front() == '.') {
        --octave;
        part.remove_prefix(1);
    }
    while (!part.empty() && part.back() == '\'') {
        ++octave;
        part.remove_suffix(1);
    }
    if (part.size() != 1 || octave < -1 || octave > 1)
        return std::nullopt;
    const auto semitones = SwaraSemitones(part.front());
    if (!semitones)
        return std::nullopt;
    return *semitones + 12 * octave;
}

class MelodyReader {
public:
    MelodyReader(Lehra& lehra, std::vector<LehraProblem>& problems, const RaagScale* raag)
        : m_lehra(lehra), m_problems(problems), m_raag(raag) {}

    void Read(const std::vector<Word>& words) {
        for (const Word& word : words) {
            if (word.text == "|") {
                m_marks.push_back({m_beat, word.line});
                continue;
            }
            ReadBeat(word);
        }
        Close();
    }

    int Beats() const { return m_beat; }
    struct Mark {
        int beat;
        int line;
    };
    const std::vector<Mark>& Marks() const { return m_marks; }

private:
    void ReadBeat(const Word& word) {
        std::vector<std::string_view> parts;
        std::string_view rest = word.text;
        for (;;) {
            const auto comma = rest.find(',');
            parts.push_back(rest.substr(0, comma));
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        if (parts.size() > static_cast<std::size_t>(kMaxPartsPerBeat)) {
            Problem(word.line, "\"" + std::string(word.text) + "\" splits a beat into more than " +
                                   std::to_string(kMaxPartsPerBeat) + " parts");
            ++m_beat;
            return;
        }
        const double length = 1.0 / static_cast<double>(parts.size());
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const double start = m_beat + static_cast<double>(i) * length;
            ReadPart(parts[i], start, length, word.line);
        }
        ++m_beat;
    }

    void ReadPart(std::string_view part, double start, double length, int line) {
        if (part == "-") {
            if (m_open)
                m_open->length += length;
            else if (!m_silent)
                Problem(line, "\"-\" holds nothing: the melody starts with it");
            return;
        }
        if (part == "_") {
            Close();
            m_silent = true;
            return;
        }
        const auto semitones = ReadSwara(part);
        if (!semitones) {
            Problem(line, "\"" + std::string(part) + "\" is not a swara, \"-\" or \"_\"");
            return;
        }
        if (m_raag && !RaagAllows(*m_raag, *semitones))
            Problem(line, "\"" + std::string(part) + "\" is not a note of raag " +
                              std::string(m_raag->name));
        Close();
        m_open = LehraNote{start, length, *semitones};
    }

    void Close() {
        if (m_open)
            m_lehra.notes.push_back(*m_open);
        m_open.reset();
    }

    void Problem(int line, std::string text) { m_problems.push_back({line, std::move(text)}); }

    Lehra& m_lehra;
    std::vector<LehraProblem>& m_problems;
    const RaagScale* m_raag;
    std::optional<LehraNote> m_open;
    bool m_silent = false;
    int m_beat = 0;
    std::vector<Mark> m_marks;
};

} // namespace

std::optional<LehraInstrument> ParseLehraInstrument(std::string_view name) {
    const std::string lower = ToLower(name);
    for (LehraInstrument instrument : kAllLehraInstruments) {
        if (lower == LehraInstrumentName(instrument))
            return instrument;
    }
    return std::nullopt;
}

const char* LehraInstrumentName(LehraInstrument instrument) {
    switch (instrument) {
    case LehraInstrument::Harmonium:
        return "harmonium";
    case LehraInstrument::Santoor:
        return "santoor";
    case LehraInstrument::Sarangi:
        return "sarangi";
    case LehraInstrument::Bansuri:
        return "bansuri";
    }
    return "harmonium";
}

int Lehra::CyclesOf(double taalBeats) const {
    if (!(taalBeats > 0.0))
        return 0;
    for (int cycles = 1; cycles <= 2; ++cycles) {
        if (std::abs(taalBeats * cycles - beats) < 1e-6)
            return cycles;
    }
    return 0;
}

bool Lehra::Fits(double taalBeats) const {
    return CyclesOf(taalBeats) > 0;
}

LehraParse ParseLehra(std::string_view text) {
    LehraParse result;
    Lehra lehra;
    auto& problems = result.problems;
    std::optional<int> beatsLine;
    std::optional<int> melodyLine;
    std::optional<int> vibhagsLine;
    std::vector<Word> words;
    int line = 0;
    bool inMelody = false;
    bool haveBeats = false;
    while (!text.empty()) {
        ++line;
        const auto newline = text.find('\n');
        std::string_view row = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (const auto hash = row.find('#'); hash != std::string_view::npos)
            row = row.substr(0, hash);
        row = Trim(row);
        if (row.empty())
            continue;
        if (inMelody) {
            SplitWords(row, line, words);
            continue;
        }
        const auto colon = row.find(':');
        if (colon == std::string_view::npos) {
            problems.push_back({line, "expected \"key: value\" or \"melody:\""});
            continue;
        }
        const std::string key = ToLower(Trim(row.substr(0, colon)));
        const std::string_view value = Trim(row.substr(colon + 1));
        if (key == "name") {
            lehra.name = std::string(value);
        } else if (key == "raag") {
            lehra.raag = std::string(value);
        } else if (key == "beats") {
            const auto beats = ReadInt(value);
            if (!beats || *beats < 1 || *beats > kMaxLehraBeats)
                problems.push_back({line, "beats must be a whole number from 1 to " +
                                              std::to_string(kMaxLehraBeats)});
            else
                lehra.beats = *beats;
            haveBeats = true;
            beatsLine = line;
        } else if (key == "instrument") {
            if (const auto instrument = ParseLehraInstrument(value))
                lehra.instrument = *instrument;
            else
                problems.push_back(
                    {line, "the instrument must be harmonium, santoor, sarangi or bansuri"});
        } else if (key == "vibhags") {
            vibhagsLine = line;
            std::vector<Word> counts;
            SplitWords(value, line, counts);
            for (const Word& count : counts) {
                const auto beats = ReadInt(count.text);
                if (!beats || *beats < 1 || *beats > kMaxLehraBeats) {
                    problems.push_back({line, "vibhags must be whole numbers of beats"});
                    lehra.vibhags.clear();
                    break;
                }
                lehra.vibhags.push_back(*beats);
            }
        } else if (key == "melody") {
            melodyLine = line;
            inMelody = true;
            SplitWords(value, line, words);
        } else {
            problems.push_back({line, "unknown key \"" + key + "\""});
        }
    }
    const int last = std::max(line, 1);
    if (lehra.name.empty())
        problems.push_back({last, "the lehra has no name"});
    if (!haveBeats)
        problems.push_back({last, "the lehra does not say its length (beats:)"});
    if (!melodyLine)
        problems.push_back({last, "the lehra has no melody"});

    const auto raag = FindRaag(lehra.raag);
    MelodyReader reader(lehra, problems, raag ? &*raag : nullptr);
    reader.Read(words);
    if (melodyLine && lehra.notes.empty())
        problems.push_back({*melodyLine, "the melody has no notes"});
    if (melodyLine && haveBeats && lehra.beats > 0 && reader.Beats() != lehra.beats)
        problems.push_back({*melodyLine, "the melody is " + std::to_string(reader.Beats()) +
                                             " beats long, not " + std::to_string(lehra.beats)});
    if (vibhagsLine && !lehra.vibhags.empty()) {
        int sum = 0;
        std::vector<int> ends;
        for (int beats : lehra.vibhags) {
            sum += beats;
            ends.push_back(sum);
        }
        // The vibhags may be given for one cycle of a two-cycle lehra.
        if (lehra.beats > 0 && sum != lehra.beats && 2 * sum != lehra.beats)
            problems.push_back({*vibhagsLine, "the vibhags add up to " + std::to_string(sum) +
                                                  " beats, not " + std::to_string(lehra.beats)});
        for (const auto& mark : reader.Marks()) {
            const int within = sum > 0 ? mark.beat % sum : mark.beat;
            if (within != 0 && std::ranges::find(ends, within) == ends.end())
                problems.push_back({mark.line, "\"|\" after beat " + std::to_string(mark.beat) +
                                                   " is not a vibhag's end"});
        }
    }
    if (problems.empty())
        result.lehra = std::move(lehra);
    std::ranges::stable_sort(problems, {}, &LehraProblem::line);
    return result;
}

} // namespace lorvanta
