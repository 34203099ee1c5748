// The notation: what the parser accepts and refuses, what the writer
// produces, random Taals written and read back, and the shipped thekas.
#include "notation/Notation.h"
#include "model/BolDictionary.h"
#include "model/Messages.h"
#include "model/Vibhags.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <sys/resource.h>

namespace lorvanta::test {
namespace {

// The built-in bols alone, or behind the "Tabla Bols.txt" the program ships.
const BolDictionary& Dictionary(bool shipped = false) {
    static const auto load = [](const char* path) {
        BolDictionary d;
        d.Load(path);
        return d;
    };
    static const BolDictionary builtIn = load(LORVANTA_TEST_DATA "/no such folder/Tabla Bols.txt");
    static const BolDictionary file = load(LORVANTA_SOURCE_DIR "/resources/Tabla Bols.txt");
    return shipped ? file : builtIn;
}

std::unique_ptr<CBol2> NamedBol(const std::string& name, float duration,
                                const BolDictionary& dictionary = Dictionary()) {
    return std::make_unique<CBol2>(name, 0, duration, Tabla, dictionary);
}

void AddBol(CTaal& taal, std::unique_ptr<CBol2> bol) {
    bol->index = static_cast<std::uint32_t>(taal.Count());
    taal.Append(std::move(bol));
}

// Parses with the given dictionary, keeping the messages.
struct Parsed {
    bool ok = false;
    std::unique_ptr<CTaal> taal = std::make_unique<CTaal>();
    RecordingMessageSink sink;
};

std::unique_ptr<Parsed> Parse(std::string_view text,
                              const BolDictionary& dictionary = Dictionary()) {
    auto parsed = std::make_unique<Parsed>();
    parsed->ok = ParseTaalText(text, *parsed->taal, parsed->sink, dictionary);
    return parsed;
}

// Each bol as "[name] pitch/bass duration", then " +pitch/bass emphasis" when it has one
// and " P" when on the Pakhawaj; bols joined by " | ".
std::string Describe(const CTaal& taal) {
    std::ostringstream out;
    for (const auto& bol : taal.Bols()) {
        if (bol->index != 0)
            out << " | ";
        out << "[" << bol->name << "] " << bol->pitch.soundId << "/" << bol->bass.soundId << " "
            << bol->duration;
        if (bol->pitch.emphasis != 0.0f || bol->bass.emphasis != 0.0f)
            out << " +" << bol->pitch.emphasis << "/" << bol->bass.emphasis;
        if (bol->pitch.instrument != Tabla || bol->bass.instrument != Tabla)
            out << " P";
    }
    return out.str();
}

TEST(NotationParser, Accepted) {
    struct Case {
        const char* text;
        const char* bols;
    };
    const Case cases[] = {
        {"tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud",
         "[dha: open ge] 12/3 2 | [ghasee dhi] 22/0 2 | [xyz] 0/0 2 +6/6 | [Na] 12/0 0.5"},
        // Pieces and names: "+" is emphasis wherever it stands; case is
        // ignored in lookups and kept in the name; inner whitespace counts.
        {"Na || Ta", "[Na] 12/0 1 | [] 0/0 1 | [Ta] 18/0 1"},
        // Emphasis stops at the 20 dB a file holds.
        {"Na++++++ | Ta+++++++ | Ge++++++++++",
         "[Na] 12/0 1 +18/18 | [Ta] 18/0 1 +20/20 | [Ge] 0/2 1 +20/20"},
        {"Tabla: Na | DHA: open GE | Dha:  Open Ge",
         "[Na] 12/0 1 | [DHA: open GE] 12/3 1 | [Dha:  Open Ge] 0/0 1"},
        // The duration holds for the bols after it, the emphasis does not.
        {"Na++ | Ta [0.25]+ | Ge | Na [2] | Ta",
         "[Na] 12/0 1 +6/6 | [Ta] 18/0 0.25 +3/3 | [Ge] 0/2 0.25 | [Na] 12/0 2 | [Ta] 18/0 2"},
        // The prefix: only before the first "|", only an instrument's exact
        // name (case aside).
        {"Tabla: Na", "[Tabla: Na] 0/0 1"},
        {"TABLA:Na | Ta", "[Na] 12/0 1 | [Ta] 18/0 1"},
        // A last "|" with only whitespace after it makes no bol.
        {"Tabla: Na | Ta | \r\n ", "[Na] 12/0 1 | [Ta] 18/0 1"},
        // Durations: either bracket closes either, any decimal number.
        {"Na[+2]", "[Na] 12/0 2 +3/3"}, // every "+" is emphasis, even in brackets
        {"Na [0.0010000000474974513]", "[Na] 12/0 0.001"}, // exactly the single-precision 0.001
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = Parse(c.text);
        ASSERT_TRUE(parsed->ok);
        EXPECT_TRUE(parsed->sink.Messages().empty());
        EXPECT_EQ(Describe(*parsed->taal), c.bols);
    }
}

// Refused at bol 2: the Taal emptied, its name kept, one warning showing the
// piece as cleaned ("+" made spaces, then trimmed). The decimal 0.001 lies
// below the single-precision 0.001.
TEST(NotationParser, DurationsRefused) {
    const std::pair<const char*, const char*> cases[] = {{"Ta [20]", "Ta [20]"},
                                                         {"Na [0.001]", "Na [0.001]"},
                                                         {" Na++ (0.5+", "Na   (0.5"},
                                                         {"Na [nan]", "Na [nan]"}};
    for (const auto& [piece, shown] : cases) {
        CTaal taal("Kept name");
        taal.Append(std::make_unique<CBol2>());
        RecordingMessageSink sink;
        EXPECT_FALSE(
            ParseTaalText(std::string("Ta [0.5] | ") + piece + " | Ge", taal, sink, Dictionary()));
        EXPECT_TRUE(taal.Count() == 0 && taal.Name() == "Kept name") << piece;
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0].text, std::string("Error in taal at bol no 2, bol: ") + shown);
        EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
    }
}

TEST(NotationParser, StopsAtTheLimitsOfATaal) {
    const auto repeat = [](const std::string& piece, int times) {
        std::string text = piece;
        for (int i = 1; i < times; ++i)
            text += "|" + piece;
        return text;
    };
    for (const auto& [text, ok] : {std::pair{repeat("Na", 50000), true},
                                   {repeat("Na", 50001), false},
                                   {repeat("Na [10]", 10000), true}, // 100,000 beats
                                   {repeat("Na [10]", 10001), false}}) {
        CTaal taal;
        EXPECT_EQ(ParseTaalTextStatus(text, taal, Dictionary()).status,
                  ok ? NotationStatus::Ok : NotationStatus::TaalTooLarge);
    }

    // Ten million pieces: refused without ever holding more than the bols kept.
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    CTaal taal;
    EXPECT_EQ(ParseTaalTextStatus(std::string(10'000'000, '|'), taal, Dictionary()).status,
              NotationStatus::TaalTooLarge);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024); // kB
}

// A bol of the built-in dictionary, changed by edit when given.
CBol2 B(const std::string& name, float duration = 1.0f,
        const std::function<void(CBol2&)>& edit = {}) {
    CBol2 bol = *NamedBol(name, duration);
    if (edit)
        edit(bol);
    return bol;
}

TaalText Write(const std::vector<CBol2>& bols) {
    CTaal taal;
    for (const CBol2& bol : bols)
        AddBol(taal, std::make_unique<CBol2>(bol));
    return WriteTaalText(taal, Dictionary());
}

TEST(NotationWriter, Texts) {
    CBol2 silent;
    silent.name = "Anything";
    struct Case {
        std::vector<CBol2> bols;
        std::string text;
        NotationStatus code = NotationStatus::Ok;
    };
    const Case cases[] = {
        {{B("Dha: Open Ge"), B("Na"), B("Tin"),
          B("Ga", 0.5f, [](CBol2& b) { b.bass.emphasis = 6; }), B("Na", 0.5f), silent},
         "Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence [1.00]"},
        // Durations where they change, with the fewest decimals, at least
        // two, that read back as the same float (the float 0.001 lies above
        // the decimal 0.001, which the parser refuses).
        {{B("Na", 0.333f), B("Na", 0.333f), B("Na", 0.004f), B("Na", 10.0f), B("Na", 0.5f),
          B("Na", 0.125f), B("Na", 0.1f), B("Na", 1.0f / 3.0f), B("Na", 0.001f)},
         "Tabla: Na [0.333] | Na | Na [0.004] | Na [10.00] | Na [0.50] | Na [0.125] | Na [0.10] | "
         "Na [0.33333334] | Na [0.00100000005]"},
        // Names come from the dictionary's first entry for the sound pair,
        // never from the bol's display name.
        {{B("Ga"), B("Dhi"), B("dha: OPEN ge"), B("Na", 1, [](CBol2& b) { b.name = "Mine"; })},
         "Tabla: Ge [1.00] | Ghasee Dhi | Dha: Open Ge | Na"},
        // A pair without a name is written under the display name, with code 35.
        {{silent, B("Na", 1, [](CBol2& b) { b.name = "Odd pair", b.bass.soundId = 9; }),
          B("Na", 1, [](CBol2& b) { b.name = "Unknown", b.pitch.soundId = kUnknownSoundId; }),
          B("Na")},
         "Tabla: Silence [1.00] | Odd pair | Unknown | Na",
         NotationStatus::UnnamedSoundPair},
        // Sounds on the Pakhawaj (no dictionary) are "Silence", and no prefix.
        {{B("Na", 1, [](CBol2& b) { b.pitch.instrument = Pakhawaj; }),
          B("Dha: Open Ge", 1, [](CBol2& b) { b.bass.instrument = Pakhawaj; }), B("Tin")},
         "Silence [1.00] | Silence | Tin"},
    };
    for (const Case& c : cases) {
        const TaalText text = Write(c.bols);
        EXPECT_EQ(text.text, c.text);
        EXPECT_EQ(text.code, c.code) << c.text;
        ASSERT_EQ(text.ranges.size(), c.bols.size()) << c.text;
    }
}

TEST(NotationWriter, EmphasisBecomesPlusSigns) {
    struct Case {
        float pitch, bass;
        std::size_t plusSigns;
    };
    const Case cases[] = {
        {3.0f, 0.0f, 1},       // exactly a half rounds up
        {2.9f, 0.0f, 0},       // just under a half
        {20.0f, -20.0f, 0},    // the average is what counts
        {1e30f, 1e30f, 65535}, // capped, not a runaway string
        {std::numeric_limits<float>::quiet_NaN(), 0.0f, 0},
    };
    for (const Case& c : cases) {
        const CBol2 bol = B("Na", 1, [&](CBol2& b) {
            b.pitch.emphasis = c.pitch;
            b.bass.emphasis = c.bass;
        });
        float last = 1.0f;
        EXPECT_EQ(WriteBolText(bol, last, Dictionary()).text, "Na" + std::string(c.plusSigns, '+'))
            << c.pitch << " " << c.bass;
    }
}

// Up to 24 bols of the dictionary (now and then a silent one), each shown
// under a name of its own, with 0 to 3 plus signs of emphasis and a duration
// kept from the bol before, in hundredths, or any.
void MakeRandomTaal(CTaal& taal, std::mt19937& random, const BolDictionary& dictionary) {
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    const int count = 1 + static_cast<int>(random() % 24);
    float duration = 1.0f;
    for (int i = 0; i < count; ++i) {
        const auto kind = random() % 10;
        if (kind >= 3 && kind < 8)
            duration = static_cast<float>(1 + random() % 1000) / 100.0f;
        else if (kind >= 8)
            duration = std::uniform_real_distribution<float>(0.001f, 10.0f)(random);
        auto bol = kind == 9
                       ? std::make_unique<CBol2>()
                       : NamedBol(entries[random() % entries.size()].name, duration, dictionary);
        bol->duration = duration;
        bol->name = "shown name " + std::to_string(i);
        bol->pitch.emphasis = bol->bass.emphasis = 3.0f * static_cast<float>(random() % 4);
        AddBol(taal, std::move(bol));
    }
}

TEST(NotationRoundTrip, RandomTaals) {
    for (const BolDictionary* dictionary : {&Dictionary(), &Dictionary(true)}) {
        std::mt19937 random(20240611);
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(round);
            CTaal taal;
            MakeRandomTaal(taal, random, *dictionary);
            // Write, parse, compare: every duration reads back exactly.
            const TaalText written = WriteTaalText(taal, *dictionary);
            auto parsed = Parse(written.text, *dictionary);
            ASSERT_TRUE(parsed->ok) << written.text;
            EXPECT_EQ(written.code, NotationStatus::Ok) << written.text;
            ASSERT_EQ(parsed->taal->Count(), taal.Count()) << written.text;
            for (int i = 0; i < taal.Count(); ++i) {
                CBol2 bol = *parsed->taal->BolAt(i);
                bol.name = taal.BolAt(i)->name; // the shown name is not written
                EXPECT_EQ(bol, *taal.BolAt(i)) << written.text << " bol " << i;
            }
            // Read back, the text is a fixed point: Apply on unchanged text changes nothing.
            EXPECT_EQ(WriteTaalText(*parsed->taal, *dictionary).text, written.text);
        }
    }
}

// The text reads back to the Taal's sounds (their ids alone when not whole)
// and durations.
void ExpectReadsBack(const CTaal& taal, const std::string& text, const BolDictionary& dictionary,
                     bool whole = true) {
    auto parsed = Parse(text, dictionary);
    ASSERT_TRUE(parsed->ok) << text;
    ASSERT_EQ(parsed->taal->Count(), taal.Count()) << text;
    for (int i = 0; i < taal.Count(); ++i) {
        const CBol2 &read = *parsed->taal->BolAt(i), &bol = *taal.BolAt(i);
        EXPECT_TRUE(whole ? read.pitch == bol.pitch && read.bass == bol.bass
                          : read.pitch.soundId == bol.pitch.soundId &&
                                read.bass.soundId == bol.bass.soundId)
            << "bol " << i << " of " << text;
        EXPECT_EQ(read.duration, bol.duration) << "bol " << i << " of " << text;
    }
}

// A Pakhawaj text whose first bols are unknown (silent) is written under the
// instrument of its first sounding bol, so that it reads back the same.
TEST(NotationRoundTrip, LeadingSilenceKeepsTheInstrument) {
    for (const char* text :
         {"Pakhawaj:D| Na ]0.5\\ || Dha | Din | T", "Pakhawaj: Xx | Din | Dha"}) {
        auto parsed = Parse(text, Dictionary(true));
        ASSERT_TRUE(parsed->ok) << text;
        ExpectReadsBack(*parsed->taal, WriteTaalText(*parsed->taal, Dictionary(true)).text,
                        Dictionary(true), false);
    }
}

// The shortest run of vibhags that, repeated, gives them all: one cycle.
int CycleBeats(const VibhagList& vibhags) {
    for (std::size_t size = 1; size <= vibhags.size(); ++size) {
        if (vibhags.size() % size != 0)
            continue;
        bool repeats = true;
        for (std::size_t i = size; i < vibhags.size() && repeats; ++i)
            repeats = vibhags[i] == vibhags[i % size];
        if (repeats) {
            int beats = 0;
            for (std::size_t i = 0; i < size; ++i)
                beats += vibhags[i].beats;
            return beats;
        }
    }
    return 0;
}

// Every bundled file opens cleanly, its vibhags fit (and live in the reserved
// block alone), every bol but "Silence" is a dictionary bol of its instrument with
// the same strokes, and its notation reads back; compositions are whole cycles.
TEST(TaalLibrary, EveryFileOpensFitsItsVibhagsAndSoundsEveryBol) {
    const std::filesystem::path root = LORVANTA_SOURCE_DIR "/Taals";
    const BolDictionary& dictionary = Dictionary(true);
    int taals = 0, variations = 0, compositions = 0, onPakhawaj = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".tal")
            continue;
        const auto relative = entry.path().lexically_relative(root);
        SCOPED_TRACE(relative.string());
        const bool composition = *relative.begin() == "Compositions";
        (relative.has_parent_path() ? (composition ? compositions : variations) : taals)++;
        CLorvantaDoc doc;
        RecordingMessageSink sink;
        ASSERT_EQ(OpenTaalFile(doc, entry.path(), sink).result, ReadResult::Ok);
        EXPECT_TRUE(sink.Messages().empty());
        EXPECT_EQ(doc.Taal().Name(), entry.path().stem().string());
        EXPECT_GE(doc.DefaultTempo(), 10.0f);
        EXPECT_LE(doc.DefaultTempo(), 1000.0f);
        const ShownVibhags shown = VibhagsToShow(doc.Params(), doc.Taal().Total());
        ASSERT_EQ(shown.display, VibhagDisplay::Shown);

        const Instrument instrument =
            static_cast<Instrument>(doc.Taal().BolAt(0)->pitch.instrument);
        onPakhawaj += instrument == Pakhawaj;
        for (int i = 0; i < doc.Taal().Count(); ++i) {
            const CBol2& bol = *doc.Taal().BolAt(i);
            EXPECT_EQ(bol.pitch.instrument, instrument) << i;
            EXPECT_EQ(bol.bass.instrument, instrument) << i;
            if (bol.name == "Silence")
                continue;
            const BolTableEntry* named = dictionary.FindBol(instrument, bol.name);
            ASSERT_NE(named, nullptr) << bol.name;
            EXPECT_EQ(bol.pitch.soundId, named->pitchSoundId) << bol.name;
            EXPECT_EQ(bol.bass.soundId, named->bassSoundId) << bol.name;
            EXPECT_TRUE(named->pitchSoundId != 0 || named->bassSoundId != 0) << bol.name;
        }

        const TaalText text = NotationPaneText(doc, dictionary);
        EXPECT_EQ(text.code, NotationStatus::Ok) << text.text;
        ExpectReadsBack(doc.Taal(), text.text, dictionary);

        // A reader that ignores the reserved block (bytes 8 to 263) reads the
        // same Taal: the vibhags live only there.
        auto bytes = TempDir::Read(entry.path());
        doc.Params().reserved.fill(0);
        std::fill(bytes.begin() + 8, bytes.begin() + 264, 0);
        EXPECT_EQ(WriteTaalDocument(doc), bytes);

        if (composition) {
            const int cycle = CycleBeats(shown.vibhags);
            ASSERT_GT(cycle, 0);
            const double cycles = static_cast<double>(doc.Taal().Total()) / cycle;
            EXPECT_NEAR(cycles, std::round(cycles), 1e-3);
            EXPECT_GE(std::round(cycles), 1.0);
        }
    }
    EXPECT_GE(taals, 36);
    EXPECT_GE(taals + variations, 40);
    EXPECT_GE(compositions, 12);
    EXPECT_GE(onPakhawaj, 8);
}

} // namespace
} // namespace lorvanta::test
