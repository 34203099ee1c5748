#pragma once

#include "model/Messages.h"

namespace lorvanta {

// Shows the program's messages as modal message boxes over the main window.
class CQtMessageSink : public MessageSink {
public:
    // The title every box carries.
    static constexpr const char* kTitle = "Lorvanta";

    // A modal box over the active window, if there is one.
    MessageAnswer Show(const UserMessage& message) override;
};

} // namespace lorvanta
