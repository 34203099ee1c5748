// The Taal and the document: inserting and deleting bols, and the invariants
// those keep.
#include "model/LorvantaDoc.h"

#include <gtest/gtest.h>

#include <random>

namespace lorvanta {
namespace {

CBol2 Named(const std::string& name, float duration) {
    CBol2 bol;
    bol.name = name;
    bol.duration = duration;
    return bol;
}

// Inserts (at the head, inside, past the end) and deletes at random against a
// plain list of names: the order, count, running total and every index agree.
TEST(TaalDocument, InvariantsHoldUnderRandomEdits) {
    std::mt19937 random(7);
    CLorvantaDoc doc;
    std::vector<std::string> expected;
    for (int step = 0; step < 3000; ++step) {
        const int count = doc.Taal().Count();
        if (count == 0 || random() % 5 < 3) {
            const int after = static_cast<int>(random() % (count + 3)) - 1;
            const CBol2 bol =
                Named("b" + std::to_string(step), 0.125f * static_cast<float>(1 + random() % 16));
            doc.InsertBol(after, &bol);
            expected.insert(expected.begin() + std::min(after + 1, count), bol.name);
        } else {
            const int position = static_cast<int>(random() % count);
            CBol2 out;
            ASSERT_TRUE(doc.DeleteBol(position, &out));
            EXPECT_EQ(out.name, expected[static_cast<std::size_t>(position)]);
            expected.erase(expected.begin() + position);
        }
        const CTaal& taal = doc.Taal();
        ASSERT_EQ(taal.Count(), static_cast<int>(expected.size()));
        EXPECT_EQ(doc.IsEmpty(), expected.empty());
        float sum = 0.0f;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            sum += taal.Bols()[i]->duration;
            ASSERT_EQ(taal.Bols()[i]->name, expected[i]) << step;
            ASSERT_EQ(taal.Bols()[i]->index, i) << step;
        }
        ASSERT_EQ(taal.Total(), sum) << step;
    }
}

} // namespace
} // namespace lorvanta
