// The lehra file format (what reads, and each problem named with its line),
// the bundled library (every file reads, keeps to its raag, fits the bundled
// thekas' lengths and lands on sam), the choice for a Taal, and the feed that
// keeps the lehra's loop in step with the Taal's image.
#include "lehra/Lehra.h"
#include "audio/LehraMix.h"
#include "lehra/LehraLibrary.h"
#include "lehra/Raags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace lorvanta::test {
namespace {

constexpr const char* kYaman = "# a comment\n"
                               "name: Test Yaman\n"
                               "raag: Yaman\n"
                               "beats: 8\n"
                               "vibhags: 4 4\n"
                               "instrument: santoor\n"
                               "melody:\n"
                               ".N R,G - M | D,N,S' - _ .N\n";

TEST(LehraFormat, AMelodyReadsIntoNotesOnTheBeats) {
    const LehraParse parse = ParseLehra(kYaman);
    ASSERT_TRUE(parse.lehra) << parse.problems.front().text;
    const Lehra& lehra = *parse.lehra;
    EXPECT_EQ(lehra.name, "Test Yaman");
    EXPECT_EQ(lehra.beats, 8);
    EXPECT_EQ(lehra.instrument, LehraInstrument::Santoor);
    EXPECT_EQ(lehra.vibhags, (std::vector{4, 4}));
    // .N, R (half), G (half + held beat), M, D, N, S' held to beat 7, a rest, .N.
    const std::vector<LehraNote> expected{{0, 1, -1},
                                          {1, 0.5, 2},
                                          {1.5, 1.5, 4},
                                          {3, 1, 6},
                                          {4, 1.0 / 3, 9},
                                          {4 + 1.0 / 3, 1.0 / 3, 11},
                                          {4 + 2.0 / 3, 4.0 / 3, 12},
                                          {7, 1, -1}};
    ASSERT_EQ(lehra.notes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(lehra.notes[i].start, expected[i].start, 1e-9) << i;
        EXPECT_NEAR(lehra.notes[i].length, expected[i].length, 1e-9) << i;
        EXPECT_EQ(lehra.notes[i].semitones, expected[i].semitones) << i;
    }
    EXPECT_EQ(lehra.CyclesOf(8.0), 1);
    EXPECT_EQ(lehra.CyclesOf(4.0), 2);
    EXPECT_EQ(lehra.CyclesOf(16.0), 0);
    EXPECT_FALSE(lehra.Fits(3.0));
}

TEST(LehraFormat, EachProblemIsNamedWithItsLine) {
    const std::string head = "name: X\nraag: Yaman\nbeats: 4\n";
    for (const auto& [text, line, words] : std::vector<std::tuple<std::string, int, std::string>>{
             {head + "melody:\nS R G\n", 4, "3 beats long, not 4"},
             {head + "melody:\nS R G X\n", 5, "\"X\" is not a swara"},
             {head + "melody:\nS R g M\n", 5, "not a note of raag Yaman"},
             {head + "melody:\n- R G M\n", 5, "holds nothing"},
             {head + "vibhags: 2 2\nmelody:\nS | R G M\n", 6, "not a vibhag's end"},
             {head + "vibhags: 2 3\nmelody:\nS R G M\n", 4, "add up to 5"},
             {head + "tempo: 80\nmelody:\nS R G M\n", 4, "unknown key"},
             {head + "instrument: sitar\nmelody:\nS R G M\n", 4, "the instrument must be"},
             {"raag: Yaman\nbeats: 4\nmelody:\nS R G M\n", 4, "has no name"},
             {"name: X\nbeats: 99\nmelody:\nS\n", 2, "from 1 to 64"},
             {head + "melody:\nS R G ..M\n", 5, "not a swara"},
             {head + "melody:\nS,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S R G M\n", 5, "more than 16"},
             {head + "S R G M\n", 4, "expected \"key: value\""},
             {head, 3, "has no melody"},
         }) {
        const LehraParse parse = ParseLehra(text);
        EXPECT_FALSE(parse.lehra) << text;
        ASSERT_FALSE(parse.problems.empty()) << text;
        bool named = false;
        for (const LehraProblem& problem : parse.problems)
            named |= problem.line == line && problem.text.find(words) != std::string::npos;
        EXPECT_TRUE(named) << text << "\nfirst: line " << parse.problems.front().line << ": "
                           << parse.problems.front().text;
    }
}

TEST(LehraFormat, RaagScalesAndSwaras) {
    const auto yaman = FindRaag("yaman");
    ASSERT_TRUE(yaman);
    EXPECT_TRUE(RaagAllows(*yaman, 6));  // M
    EXPECT_FALSE(RaagAllows(*yaman, 5)); // m
    EXPECT_TRUE(RaagAllows(*yaman, -1)); // .N
    EXPECT_TRUE(RaagAllows(*yaman, 14)); // R'
    EXPECT_FALSE(FindRaag("Unheard"));
    EXPECT_EQ(SwaraSemitones('d'), 8);
    EXPECT_FALSE(SwaraSemitones('x'));
}

// Every bundled lehra reads without a warning, uses only its raag's notes,
// is as long as it says, starts on sam and fits the bundled thekas' lengths.
TEST(LehraLibraryTest, TheBundledLehrasKeepToTheirRaagsAndFitEveryTheka) {
    const LehraLibrary library = LehraLibrary::Load({LORVANTA_LEHRAS});
    EXPECT_TRUE(library.Warnings().empty()) << library.Warnings().front();
    ASSERT_GE(library.Lehras().size(), 14u);
    std::set<std::string> raags;
    for (const LehraEntry& entry : library.Lehras()) {
        const Lehra& lehra = entry.lehra;
        const auto raag = FindRaag(lehra.raag);
        ASSERT_TRUE(raag) << entry.file;
        raags.insert(std::string(raag->name));
        ASSERT_FALSE(lehra.notes.empty());
        EXPECT_EQ(lehra.notes.front().start, 0.0) << entry.file << ": sam is sounded";
        double end = 0.0;
        for (const LehraNote& note : lehra.notes) {
            EXPECT_TRUE(RaagAllows(*raag, note.semitones))
                << entry.file << ": " << note.semitones << " at beat " << note.start;
            EXPECT_GE(note.start, end - 1e-9) << entry.file;
            end = note.start + note.length;
        }
        EXPECT_LE(end, lehra.beats + 1e-9) << entry.file;
        EXPECT_GE(end, lehra.beats - 1.0) << entry.file << ": runs up to the next sam";
    }
    EXPECT_GE(raags.size(), 6u);
    for (const auto& [taal, beats] : std::vector<std::pair<std::string, int>>{{"Teentaal", 16},
                                                                              {"Ektaal", 12},
                                                                              {"Jhaptaal", 10},
                                                                              {"Rupak", 7},
                                                                              {"Dhamar", 14},
                                                                              {"Dadra", 6},
                                                                              {"Keherwa", 8}}) {
        const LehraEntry* chosen = library.Auto(beats, taal);
        ASSERT_TRUE(chosen) << taal;
        EXPECT_TRUE(chosen->lehra.Fits(beats));
        EXPECT_NE(chosen->lehra.name.find(taal), std::string::npos) << taal;
        EXPECT_EQ(library.Fitting(beats).front()->lehra.CyclesOf(beats), 1 + (beats < 9)) << taal;
    }
    EXPECT_FALSE(library.Auto(9.0));
    EXPECT_EQ(library.Find("kirwani in teentaal"), library.Find("Teentaal - Kirwani"));
}

// A loop whose sample k is k, so that what is mixed tells where it came from.
LehraLoop CountingLoop(std::size_t cycleSamples, int cycles) {
    LehraLoop loop;
    loop.cycleSamples = cycleSamples;
    loop.cycles = cycles;
    loop.samples.resize(cycleSamples * static_cast<std::size_t>(cycles));
    for (std::size_t i = 0; i < loop.samples.size(); ++i)
        loop.samples[i] = static_cast<std::int16_t>(i);
    return loop;
}

std::vector<std::int16_t> Mix(LehraFeed& feed, std::uint64_t offset, std::size_t samples,
                              std::uint64_t dataSize) {
    std::vector<std::int16_t> out(samples, 0);
    feed.MixSegment(reinterpret_cast<unsigned char*>(out.data()), 2 * samples, offset, dataSize);
    return out;
}

TEST(LehraFeedTest, TheLoopFollowsTheImagesPlaceAndCycleAndTakesTheNextAtTheWrap) {
    const LehraLoop two = CountingLoop(100, 2);
    const LehraLoop faster = CountingLoop(80, 2);
    LehraFeed feed;
    feed.SetLevelDb(0.0f);
    feed.SetLoops(&two, &faster);
    EXPECT_EQ(Mix(feed, 0, 4, 200)[0], 0) << "off: nothing";
    feed.SetOn(true);
    feed.Rewind();
    EXPECT_EQ(Mix(feed, 40, 3, 200), (std::vector<std::int16_t>{20, 21, 22}));
    Mix(feed, 100, 50, 200); // to the image's end: the second cycle
    EXPECT_EQ(feed.Cycle(), 1);
    EXPECT_EQ(Mix(feed, 20, 2, 200), (std::vector<std::int16_t>{110, 111}));
    // An image of another length (another tempo) before its loop came: what
    // sounded dies away over 5 ms, going on from where it was, and then the
    // lehra is silent rather than out of time.
    const std::vector<std::int16_t> dying = Mix(feed, 100, 120, 400);
    for (std::size_t i = 0; i < dying.size(); ++i) {
        const float level = std::max(0.0f, 1.0f - static_cast<float>(i + 1) / 110.0f);
        EXPECT_NEAR(dying[i], level * static_cast<float>((112 + i) % 200), 1.0f) << i;
    }
    // The wrap into the next cycle's image takes the loop made for it, which
    // has faded in by then.
    Mix(feed, 22, 89, 200);
    EXPECT_EQ(feed.Cycle(), 0);
    const std::vector<std::int16_t> faded = Mix(feed, 0, 40, 160);
    for (std::size_t i = 21; i < faded.size(); ++i)
        EXPECT_EQ(faded[i], static_cast<std::int16_t>(i)) << i;
    EXPECT_EQ(feed.Current(), &faster);
    feed.MoveCycles(-3);
    EXPECT_EQ(feed.Cycle(), 1);
    EXPECT_EQ(Mix(feed, 10, 1, 160)[0], 85);
}

} // namespace
} // namespace lorvanta::test
