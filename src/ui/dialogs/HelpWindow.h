#pragma once

#include "ui/dialogs/HyperLink.h"

#include <QUrl>
#include <QWidget>

class QAction;
class QTextBrowser;

namespace lorvanta {

class MessageSink;

// The help page in a window of the program's own: links within the help are
// followed in place, with Back and Forward; other addresses go to the
// desktop's browser. "Open in Browser" shows the page there, when the desktop
// has a browser.
class CHelpWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Lorvanta Help";

    // `browser` opens an address in the desktop's browser; null when the
    // desktop has none (Open in Browser is then not offered).
    CHelpWindow(MessageSink& sink, CHyperLink::Opener browser, QWidget* parent = nullptr);

    // Shows the page at a local address (a file, or one of the program's
    // own), and brings the window to the front.
    void ShowPage(const QUrl& address);
    // What a click on a link does.
    void FollowLink(const QUrl& link);
    void OpenInBrowser();

    QTextBrowser* Browser() const { return m_browser; }
    QAction* BackAction() const { return m_back; }
    QAction* ForwardAction() const { return m_forward; }
    QAction* OpenInBrowserAction() const { return m_openInBrowser; }

    // Addresses the window itself shows: files and the program's own.
    static bool IsLocal(const QUrl& address);

private:
    // Opens an address in the browser, or says why it could not.
    void OpenOutside(const QUrl& address);

    MessageSink& m_sink;
    CHyperLink::Opener m_openInDesktop;
    QTextBrowser* m_browser = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_openInBrowser = nullptr;
};

} // namespace lorvanta
