#pragma once

// One table per family of status codes: each code with the number the program
// shows and writes for it and the text it shows (empty when the code has no
// text of its own). The numbers are the codes' values, checked at compile time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace lorvanta {

template <class Status> struct StatusEntry {
    Status status;
    std::uint32_t number;
    const char* text;
};

// Whether every entry's number is its code's value and no code appears twice.
template <class Status, std::size_t N>
constexpr bool StatusTableConsistent(const std::array<StatusEntry<Status>, N>& table) {
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<std::uint32_t>(table[i].status) != table[i].number)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (table[j].status == table[i].status)
                return false;
    }
    return true;
}

// The entry of a code; a value outside the table (only a cast makes one)
// gets its own number and no text.
template <class Status, std::size_t N>
constexpr StatusEntry<Status> FindStatus(const std::array<StatusEntry<Status>, N>& table,
                                         Status status) {
    for (const auto& entry : table)
        if (entry.status == status)
            return entry;
    return {status, static_cast<std::uint32_t>(status), ""};
}

// The number and the text of a status. Each family names its table with
// `constexpr const auto& StatusTableOf(Family)` beside it, found here by
// argument-dependent lookup.
template <class Status>
requires requires(Status status) {
    StatusTableOf(status);
}
constexpr std::uint32_t StatusNumber(Status status) {
    return FindStatus(StatusTableOf(status), status).number;
}
template <class Status>
requires requires(Status status) {
    StatusTableOf(status);
}
constexpr const char* StatusText(Status status) {
    return FindStatus(StatusTableOf(status), status).text;
}

} // namespace lorvanta
