#pragma once

#include "audio/output/OutputDevice.h"

#include <memory>
#include <string>

namespace lorvanta {

// Opens the output chosen by LORVANTA_AUDIO: the default sound card (the
// default), or the real-time virtual output. HResult::NoDriver when the card cannot
// be opened, HResult::InvalidArg when the variable names neither.
HResult OpenChosenOutput(std::unique_ptr<OutputDevice>& out);
// The same, with the sound card's device chosen by name (empty: the default;
// one not found falls back to the default, and the output says so).
HResult OpenNamedOutput(const std::string& device, std::unique_ptr<OutputDevice>& out);

} // namespace lorvanta
