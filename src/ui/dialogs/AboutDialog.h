#pragma once

#include "ui/dialogs/HyperLink.h"

#include <QDialog>

namespace lorvanta {

class MessageSink;

// The About box: the logo, the program's name and version, and the help
// address as a link, on white. A click anywhere but on the link closes it.
class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kVersionFormat = "Version %1";

    CAboutDialog(const QUrl& helpAddress, MessageSink& sink, CHyperLink::Opener opener,
                 QWidget* parent = nullptr);

    // "Version 0.1.0": the program's version.
    static QString VersionText();
    CHyperLink* Link() const { return m_link; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CHyperLink* m_link = nullptr;
};

} // namespace lorvanta
