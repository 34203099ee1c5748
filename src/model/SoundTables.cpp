#include "model/SoundTables.h"
#include "model/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>

namespace lorvanta {

namespace {

constexpr std::array<SoundTableRow, 31> kPitchRows{{
    {"Silence", 0},
    {"Na", 12},
    {"Sur", 13},
    {"Tin", 14},
    {"Tu", 20},
    {"Ti", 15},
    {"Soft Ra", 17},
    {"Strong Ra", 16},
    {"Ki", 7},
    {"Ka", 24},
    {"Kat", 11},
    {"Ta", 18},
    {"Te", 19},
    {"Tra", 25},
    {"Ne", 21},
    {"Ghasee Dhi", 22},
    {"Ghasee Ra", 23},
    {"Din", 26},
    {"Soft Din", 27},
    {"Dhin", 29},
    {"Soft Dhi", 28},
    {"Na 1", 12},
    {"Na 2", 12},
    {"Normal Ki, Ke", 7},
    {"Normal Ti, Te", 15},
    {"Rra", 16},
    {"Re", 16},
    {"Tta", 18},
    {"Strong Ti, Te", 18},
    {"Tun", 20},
    {"Finger Ki, Ke", 11},
}};
constexpr std::size_t kPitchPrimaryRows = 21;

constexpr std::array<SoundTableRow, 24> kBassRows{{
    {"Silence", 0},
    {"Pressed Ge", 1},
    {"Fast Sliding Ge", 4},
    {"Delayed Sliding Ge", 5},
    {"First Closed then Open Ge", 6},
    {"Closed Ge", 2},
    {"Open Ge", 3},
    {"Gin", 8},
    {"Ki", 7},
    {"Thap1", 9},
    {"Thap2", 10},
    {"Tichki", 11},
    {"Normal Ge 1", 1},
    {"Normal Ge 2", 1},
    {"Normal Ge", 1},
    {"Pressed Ge 1", 1},
    {"Open Ge 1", 3},
    {"Open Ge 2", 3},
    {"Sliding Ge", 4},
    {"Sliding Ge 1", 4},
    {"Sliding Ge 2", 5},
    {"First Open then Closed Ge", 6},
    {"Normal Ki, Ke", 7},
    {"Normal Ti, Te", 15},
}};
constexpr std::size_t kBassPrimaryRows = 12;

constexpr std::array<BuiltInBolRow, 34> kBuiltInBols{{
    {"---- Tabla Sounds ----", "Silence", "Silence"},
    {"Silence", "Silence", "Silence"},
    {"Dha: Pressed Ge", "Na", "Pressed Ge"},
    {"Dha: First Closed then Open Ge", "Na", "First Closed then Open Ge"},
    {"Dha: Closed Ge", "Na", "Closed Ge"},
    {"Dha: Open Ge", "Na", "Open Ge"},
    {"Dha: Delayed Sliding Ge", "Na", "Delayed Sliding Ge"},
    {"Dha: Fast Sliding Ge", "Na", "Fast Sliding Ge"},
    {"Dhin: Pressed Ge", "Sur", "Pressed Ge"},
    {"Dhin: First Closed then Open Ge", "Sur", "First Closed then Open Ge"},
    {"Dhin: Closed Ge", "Sur", "Closed Ge"},
    {"Dhin: Open Ge", "Sur", "Open Ge"},
    {"Dhin: Delayed Sliding Ge", "Sur", "Delayed Sliding Ge"},
    {"Dhin: Fast Sliding Ge", "Sur", "Fast Sliding Ge"},
    {"Na", "Na", "Silence"},
    {"Tin", "Sur", "Thap1"},
    {"Tu", "Tu", "Silence"},
    {"Ti", "Ti", "Silence"},
    {"Re", "Strong Ra", "Silence"},
    {"Ki", "Ki", "Silence"},
    {"Ta", "Ta", "Silence"},
    {"Te", "Te", "Silence"},
    {"Kat", "Kat", "Silence"},
    {"Ge", "Silence", "Closed Ge"},
    {"Ga", "Silence", "Closed Ge"},
    {"Din", "Din", "Silence"},
    {"Ne", "Ne", "Silence"},
    {"Soft Dhi", "Soft Dhi", "Silence"},
    {"Soft Ra", "Soft Ra", "Silence"},
    {"Tra", "Tra", "Silence"},
    {"Ghasee Dhi", "Ghasee Dhi", "Silence"},
    {"Ghasee Ra", "Ghasee Ra", "Silence"},
    {"Dhi", "Ghasee Dhi", "Silence"},
    {"Ra", "Ghasee Ra", "Silence"},
}};

} // namespace

float DefaultTempo() {
    return std::bit_cast<float>(kDefaultTempoBits);
}

std::span<const SoundTableRow> PitchTable() {
    return kPitchRows;
}
std::span<const SoundTableRow> BassTable() {
    return kBassRows;
}
std::span<const SoundTableRow> Rows(SoundTable table) {
    return table == SoundTable::Pitch ? PitchTable() : BassTable();
}
std::size_t PrimaryRowCount(SoundTable table) {
    return table == SoundTable::Pitch ? kPitchPrimaryRows : kBassPrimaryRows;
}
std::span<const BuiltInBolRow> BuiltInBols() {
    return kBuiltInBols;
}

SoundId NormalizeSoundName(std::string& name, SoundTable table) {
    const auto rows = Rows(table);
    for (const auto& row : rows) {
        if (name != row.name)
            continue;
        const SoundId id = row.id;
        for (std::size_t i = 0; i < PrimaryRowCount(table); ++i) {
            if (rows[i].id == id) {
                name = rows[i].name;
                break;
            }
        }
        return id;
    }
    return kUnknownSoundId;
}

SoundId ResolveSoundName(const std::string& name, SoundTable table) {
    for (const auto& row : Rows(table)) {
        if (EqualsIgnoringCase(name, row.name))
            return row.id;
    }
    return kSilenceSoundId;
}

} // namespace lorvanta
