#pragma once

#include <QLabel>
#include <QUrl>

#include <functional>
#include <optional>

namespace lorvanta {

class MessageSink;

// A web address in a dialog: underlined, with a hand cursor and the address as
// its tooltip; a click opens it through the desktop and marks it visited.
class CHyperLink : public QLabel {
    Q_OBJECT

public:
    static constexpr const char* kOpenFailed = "Unable to open hyperlink:\n\n";
    // Opens an address; the desktop's reason on failure.
    using Opener = std::function<std::optional<QString>(const QUrl&)>;

    CHyperLink(const QString& text, const QUrl& address, MessageSink& sink, Opener opener,
               QWidget* parent = nullptr);

    const QUrl& Address() const { return m_address; }
    bool IsVisited() const { return m_visited; }
    // What a click does: opens the address, or shows why it could not.
    void OpenAddress();

    static QColor LinkColour();
    static QColor VisitedColour();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyColour();

    QUrl m_address;
    MessageSink& m_sink;
    Opener m_opener;
    bool m_visited = false;
};

} // namespace lorvanta
