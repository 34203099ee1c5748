#pragma once

#include "model/LorvantaDoc.h"
#include "persistence/TaalFile.h"

#include <optional>
#include <string>
#include <string_view>

namespace lorvanta::cli {

// The JSON object the tool prints for a Taal, on one line without a line end:
// {"result": R, "valid": B, "repaired": B, "message": M, "version": V,
//  "tempo": F, "name": S, "count": N, "total": F, "empty": B, "bols": [...],
//  "vibhags": [{"beats": N, "mark": S}, ...]}
// The vibhags are those the grid shows: the stored ones when they fit the
// Taal's length, an empty list otherwise.
// Floats print with "%.9g" (every float reads back exactly), non-finite ones as
// null; strings are single-byte text, bytes from 0x80 shown as \u0080..\u00ff.
// A Taal that was not read from a file passes a default outcome and no message.
std::string TaalToJson(const CLorvantaDoc& doc, const ReadOutcome& outcome = {},
                       const std::optional<std::string>& message = std::nullopt);

// Pieces of the above, for commands printing their own objects.
std::string JsonString(std::string_view text);
std::string JsonFloat(float value);

} // namespace lorvanta::cli
