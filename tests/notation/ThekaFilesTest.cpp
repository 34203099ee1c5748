// The thekas shipped in Taals/: each opens cleanly, and its notation, applied
// again, gives back exactly the Taal in the file.
#include "NotationTestSupport.h"

#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace lorvanta::test {
namespace {

TEST(ThekaFiles, EachOpensCleanlyAndItsNotationReadsBackTheSameTaal) {
    std::map<std::string, float> beats = {
        {"Teentaal", 16.0f}, {"Ektaal", 12.0f},   {"Jhaptaal", 10.0f}, {"Rupak", 7.0f},
        {"Dadra", 6.0f},     {"Keherwa", 8.0f},   {"Jhoomra", 14.0f},  {"Deepchandi", 14.0f},
        {"Tilwada", 16.0f},  {"Chautaal", 12.0f}, {"Dhamar", 14.0f},   {"Sooltaal", 10.0f},
    };
    const BolDictionary& dictionary = ShippedDictionary();
    for (const auto& entry : std::filesystem::directory_iterator(LORVANTA_SOURCE_DIR "/Taals")) {
        const auto& path = entry.path();
        if (path.extension() != ".tal")
            continue;
        const std::string name = path.stem().string();
        SCOPED_TRACE(name);
        CLorvantaDoc doc;
        RecordingMessageSink sink;
        const ReadOutcome outcome = OpenTaalFile(doc, path, sink);
        EXPECT_EQ(outcome.result, kReadOk);
        EXPECT_TRUE(sink.Messages().empty());
        const CTaal& taal = doc.Taal();
        EXPECT_EQ(taal.Name(), name);
        ASSERT_EQ(beats.count(name), 1u) << "not a standard theka";
        EXPECT_EQ(taal.Total(), beats[name]);
        beats.erase(name);

        // Every bol has a dictionary name.
        const TaalText text = NotationPaneText(doc, dictionary);
        EXPECT_EQ(text.code, 0u) << text.text;
        auto parsed = Parse(text.text, dictionary);
        ASSERT_TRUE(parsed->ok) << text.text;
        ASSERT_EQ(parsed->taal->Count(), taal.Count()) << text.text;
        for (int i = 0; i < taal.Count(); ++i)
            EXPECT_EQ(*parsed->taal->BolAt(i), *taal.BolAt(i))
                << "bol " << i << " of " << text.text;
    }
    EXPECT_TRUE(beats.empty()) << beats.size() << " standard thekas missing, "
                               << beats.begin()->first << " among them";
}

} // namespace
} // namespace lorvanta::test
