#pragma once

// The "Lorvanta Bol" clipboard payload: the bols Copy and Cut put on the
// clipboard and Paste takes back, in the archive encoding of Taal files.
//
//   u32 count, then count bols, each a class tag followed by its bol record:
//   the first carries the class description FF FF 00 00 05 00 "CBol2", every
//   later one the reference 01 80.

#include "model/Bol.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace lorvanta {

// The clipboard format's registered name, and the MIME type it travels under.
inline constexpr const char* kBolClipboardFormat = "Lorvanta Bol";
inline constexpr const char* kBolClipboardMimeType =
    "application/x-qt-windows-mime;value=\"Lorvanta Bol\"";

// The fewest bytes one bol can take in a payload: a 2-byte tag and a record of
// empty names (1 + 4 + 4 + 4 bytes, then two sounds of 1 + 4 + 1 + 4).
inline constexpr std::size_t kMinBolPayloadBytes = 2 + 13 + 2 * 10;

// The payload of the bols, in the order given.
std::vector<std::uint8_t> WriteBolPayload(std::span<const CBol2* const> bols);

// Reads a payload. Accepts only bols: the "CBol2" class description (schema 0)
// in front of the first and the tag 0x8001 in front of every later one. Bytes
// after the last bol are ignored (a clipboard may hand over a rounded-up block). On a malformed
// payload returns false with error saying what is wrong and where, and leaves bols untouched.
// Values are checked and repaired as a Taal file's are.
bool ReadBolPayload(std::span<const std::uint8_t> payload,
                    std::vector<std::unique_ptr<CBol2>>& bols, std::string& error);

} // namespace lorvanta
