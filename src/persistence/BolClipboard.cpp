#include "persistence/BolClipboard.h"

#include "persistence/Archive.h"
#include "persistence/TaalRecords.h"

#include <cstdio>

namespace lorvanta {

namespace {

// The reference to the first class of a stream: the only tag a later bol of a
// payload may carry.
constexpr std::uint16_t kFirstClassReference = kClassTag | 1;

std::uint16_t PeekU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

} // namespace

std::vector<std::uint8_t> WriteBolPayload(std::span<const CBol2* const> bols) {
    ArchiveWriter writer;
    writer.WriteU32(static_cast<std::uint32_t>(bols.size()));
    BolObjectWriter objects;
    for (const CBol2* bol : bols)
        objects.Write(writer, *bol);
    return writer.Take();
}

bool ReadBolPayload(std::span<const std::uint8_t> payload,
                    std::vector<std::unique_ptr<CBol2>>& bols, std::string& error) {
    try {
        ArchiveReader reader(payload, "clipboard data");
        const std::uint32_t count = reader.ReadU32("bol count");
        // A count the data cannot hold is refused before anything is read.
        if (count > reader.Remaining() / kMinBolPayloadBytes) {
            error = "the data announces " + std::to_string(count) +
                    (count == 1 ? " bol" : " bols") + " but holds only " +
                    std::to_string(reader.Remaining()) + " bytes after the count, too few for " +
                    (count == 1 ? "it" : "them");
            return false;
        }
        std::vector<std::unique_ptr<CBol2>> read;
        read.reserve(count);
        BolObjectReader objects;
        LoadStatus status;
        for (std::uint32_t i = 0; i < count; ++i) {
            // The object reader would also take a second class description;
            // a payload has exactly one, in front of the first bol.
            if (i > 0 && reader.Remaining() >= 2) {
                const std::uint16_t tag = PeekU16(payload, reader.Position());
                if (tag != kFirstClassReference) {
                    char text[96];
                    std::snprintf(text, sizeof text,
                                  "bol %u carries the tag 0x%04X instead of 0x8001 (byte %zu)",
                                  i + 1, static_cast<unsigned>(tag), reader.Position());
                    error = text;
                    return false;
                }
            }
            read.push_back(objects.Read(reader, i, status));
        }
        bols = std::move(read);
        return true;
    } catch (const ArchiveError& failure) {
        error = failure.Detail();
        return false;
    }
}

} // namespace lorvanta
