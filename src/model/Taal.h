#pragma once

#include "model/Bol.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lorvanta {

inline constexpr const char* kNewTaalName = "New Taal";

// A named cycle of bols. Keeps its count, total length and the bols' indices
// consistent with the list through every operation.
class CTaal {
public:
    using BolList = std::vector<std::unique_ptr<CBol2>>;

    explicit CTaal(std::string name = kNewTaalName) : m_name(std::move(name)) {}
    CTaal(const CTaal&) = delete;
    CTaal& operator=(const CTaal&) = delete;

    // Deletes every bol; the name stays.
    void RemoveAll();
    // Becomes a full copy of other: its bols, name and total.
    void Assign(const CTaal& other);
    // Recomputes the total and renumbers every bol behind position after (-1: all).
    void Recalculate(int after);
    // Adds a bol at the end; its index is left as the caller set it.
    void Append(std::unique_ptr<CBol2> bol);
    // Inserts after the given position (-1: at the head; past the end: at the
    // tail) and renumbers. Returns the position the bol took.
    int Insert(int after, std::unique_ptr<CBol2> bol);
    // Removes and returns the bol at the position (null when there is none).
    std::unique_ptr<CBol2> Remove(int position);

    std::int32_t Count() const { return static_cast<std::int32_t>(m_bols.size()); }
    bool IsEmpty() const { return m_bols.empty(); }
    float Total() const { return m_total; }
    // The length a file stated; readers use this, edits keep it by Recalculate.
    void SetTotal(float total) { m_total = total; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    // The bol at a position, or null.
    CBol2* BolAt(int position);
    const CBol2* BolAt(int position) const;
    const BolList& Bols() const { return m_bols; }

private:
    float m_total = 0.0f;
    std::string m_name;
    BolList m_bols;
};

// The default tempo and a reserved block carried through files.
struct CTaalParams {
    float defaultTempo = DefaultTempo();
    std::array<std::uint8_t, 256> reserved{};
    void Reset() { *this = CTaalParams{}; }
};

// File identification at the start of a Taal file.
struct CFileHeader {
    static constexpr std::uint16_t kMagic = 0xAAAA;
    static constexpr std::uint16_t kCurrentVersion = 4;
    std::uint16_t magic = kMagic;
    std::uint16_t version = kCurrentVersion;
};

} // namespace lorvanta
