#pragma once

#include "model/Messages.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace lorvanta {

// Shows the program's messages as modal message boxes over the main window.
class CQtMessageSink : public MessageSink {
public:
    // The title every box carries.
    static constexpr const char* kTitle = "Lorvanta";

    MessageAnswer Show(const UserMessage& message) override;
    // The window the boxes are centred on; none while there is no window.
    void SetParentWidget(QWidget* parent) { m_parent = parent; }

private:
    QPointer<QWidget> m_parent;
};

} // namespace lorvanta
