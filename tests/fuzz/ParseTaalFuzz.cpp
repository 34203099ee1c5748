// Fuzzes the notation parser: any bytes are a text someone might type. Nothing
// may crash, and every text that parses must survive being written and read
// again with the same sounds, emphasis and (to the written hundredth) durations,
// and lay out and render.
#include "LayOutAndPlay.h"

#include "model/BolDictionary.h"
#include "notation/Notation.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace lorvanta;

namespace {

const BolDictionary& Dictionary() {
    static const BolDictionary dictionary = [] {
        BolDictionary d;
        d.Load(LORVANTA_SOURCE_DIR "/resources/Tabla Bols.txt");
        return d;
    }();
    return dictionary;
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

void CheckRanges(const std::vector<BolRange>& ranges, std::size_t textSize, int count) {
    Check(static_cast<int>(ranges.size()) == count, "one range per bol");
    for (const BolRange& range : ranges) {
        Check(range.start >= 0 && range.start <= range.end, "range in order");
        Check(static_cast<std::size_t>(range.end) <= textSize, "range inside the text");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const BolDictionary& dictionary = Dictionary();

    CTaal taal;
    RecordingMessageSink sink;
    if (!ParseTaalText(text, taal, sink, dictionary)) {
        Check(taal.Count() == 0, "a refused text leaves the Taal empty");
        Check(sink.Messages().size() == 1 &&
                  (sink.Messages()[0].text.rfind("Error in taal at bol no ", 0) == 0 ||
                   sink.Messages()[0].text.rfind("A Taal holds at most", 0) == 0),
              "a refused text says which bol or which limit");
        return 0;
    }
    Check(sink.Messages().empty(), "an accepted text says nothing");
    Check(taal.Count() >= 1, "a text makes at least one bol");
    CheckRanges(AppliedTextRanges(text), text.size(), taal.Count());
    for (int i = 0; i < taal.Count(); ++i) {
        const CBol2& bol = *taal.BolAt(i);
        Check(bol.index == static_cast<std::uint32_t>(i), "bols numbered in order");
        Check(bol.duration >= kMinTypedDuration && bol.duration <= kMaxTypedDuration,
              "durations within range");
        Check(bol.pitch.emphasis == bol.bass.emphasis && bol.pitch.emphasis >= 0.0f,
              "emphasis the same on both sounds");
    }

    fuzz::LayOutAndPlay(taal);

    const TaalText written = WriteTaalText(taal, dictionary);
    Check(written.code == NotationStatus::Ok, "every parsed bol has a name to be written by");
    CheckRanges(written.ranges, written.text.size(), taal.Count());

    CTaal again;
    RecordingMessageSink againSink;
    const bool ok = ParseTaalText(written.text, again, againSink, dictionary);
    Check(ok, "written text parses");
    Check(again.Count() == taal.Count(), "same number of bols");
    for (int i = 0; i < taal.Count(); ++i) {
        const CBol2& a = *taal.BolAt(i);
        const CBol2& b = *again.BolAt(i);
        Check(a.pitch.soundId == b.pitch.soundId && a.bass.soundId == b.bass.soundId,
              "same sounds");
        Check(a.pitch.emphasis == b.pitch.emphasis && a.bass.emphasis == b.bass.emphasis,
              "same emphasis");
        Check(b.duration == a.duration, "same duration");
    }
    return 0;
}
