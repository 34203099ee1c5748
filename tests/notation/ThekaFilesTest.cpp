// The thekas shipped in Taals/: each opens cleanly, and its notation, applied
// again, gives back exactly the Taal in the file.
#include "NotationTestSupport.h"

#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace lorvanta::test {
namespace {

const std::map<std::string, float>& ExpectedBeats() {
    static const std::map<std::string, float> beats = {
        {"Teentaal", 16.0f}, {"Ektaal", 12.0f},   {"Jhaptaal", 10.0f}, {"Rupak", 7.0f},
        {"Dadra", 6.0f},     {"Keherwa", 8.0f},   {"Jhoomra", 14.0f},  {"Deepchandi", 14.0f},
        {"Tilwada", 16.0f},  {"Chautaal", 12.0f}, {"Dhamar", 14.0f},   {"Sooltaal", 10.0f},
    };
    return beats;
}

std::vector<std::filesystem::path> ThekaFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(LORVANTA_SOURCE_DIR "/Taals")) {
        if (entry.path().extension() == ".tal")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ThekaFiles, TheTwelveStandardThekasAreThere) {
    std::set<std::string> names;
    for (const auto& path : ThekaFiles())
        names.insert(path.stem().string());
    std::set<std::string> expected;
    for (const auto& [name, beats] : ExpectedBeats())
        expected.insert(name);
    EXPECT_EQ(names, expected);
}

TEST(ThekaFiles, EachOpensCleanlyAndItsNotationReadsBackTheSameTaal) {
    const BolDictionary& dictionary = ShippedDictionary();
    for (const auto& path : ThekaFiles()) {
        SCOPED_TRACE(path.filename().string());
        CLorvantaDoc doc;
        RecordingMessageSink sink;
        const ReadOutcome outcome = OpenTaalFile(doc, path, sink);
        EXPECT_FALSE(outcome.structuralError);
        EXPECT_EQ(outcome.result, kReadOk);
        EXPECT_TRUE(outcome.valid);
        EXPECT_TRUE(sink.Messages().empty());
        EXPECT_EQ(doc.Header().version, 4);
        EXPECT_FALSE(doc.IsEmpty());
        const CTaal& taal = doc.Taal();
        EXPECT_EQ(taal.Name(), path.stem().string());
        EXPECT_GE(doc.DefaultTempo(), 10.0f);
        EXPECT_LE(doc.DefaultTempo(), 1000.0f);
        const auto beats = ExpectedBeats().find(path.stem().string());
        if (beats != ExpectedBeats().end()) {
            EXPECT_EQ(taal.Total(), beats->second);
        }

        // Every bol has a dictionary name and sounds, or is a rest.
        const TaalText text = NotationPaneText(doc, dictionary);
        EXPECT_EQ(text.code, 0u) << text.text;
        ASSERT_EQ(static_cast<int>(text.ranges.size()), taal.Count());
        auto parsed = Parse(text.text, dictionary);
        ASSERT_TRUE(parsed->ok) << text.text;
        ASSERT_EQ(parsed->taal->Count(), taal.Count()) << text.text;
        EXPECT_EQ(parsed->taal->Total(), taal.Total());
        for (int i = 0; i < taal.Count(); ++i) {
            EXPECT_EQ(*parsed->taal->BolAt(i), *taal.BolAt(i))
                << "bol " << i << " of " << text.text;
            const CBol2& bol = *taal.BolAt(i);
            if (bol.name != "Silence") {
                EXPECT_TRUE(bol.pitch.soundId != 0 || bol.bass.soundId != 0) << bol.name;
            }
        }
    }
}

} // namespace
} // namespace lorvanta::test
