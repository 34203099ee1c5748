// Feeds arbitrary bytes to the Taal file reader. Whatever it accepts must
// write out and read back without a structural error, print as JSON, and lay
// out, render and show its playing position as the window does, with no
// conversion out of range (the sanitizer stops on any).
#include "LayOutAndPlay.h"
#include "TaalJson.h"

#include "persistence/TaalFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace lorvanta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument({data, size}, "/fuzz/input.tal", doc);
    if (outcome.structuralError) {
        if (outcome.errorDetail.empty() || !doc.IsEmpty())
            std::abort();
        return 0;
    }
    if (doc.IsEmpty() != (doc.Taal().Count() == 0))
        std::abort();
    (void)PostReadMessage(outcome, "/fuzz/input.tal");
    (void)cli::TaalToJson(doc, outcome);
    ApplyOpenedTempoRule(doc);
    fuzz::LayOutAndPlay(doc.Taal());

    const auto written = WriteTaalDocument(doc);
    CLorvantaDoc back;
    const ReadOutcome again = ReadTaalDocument(written, "/fuzz/again.tal", back);
    if (again.structuralError)
        std::abort();
    return 0;
}
