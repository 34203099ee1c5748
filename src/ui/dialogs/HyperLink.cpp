#include "ui/dialogs/HyperLink.h"

#include "model/Messages.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace lorvanta {

CHyperLink::CHyperLink(const QString& text, const QUrl& address, MessageSink& sink, Opener opener,
                       QWidget* parent)
    : QLabel(text, parent), m_address(address), m_sink(sink), m_opener(std::move(opener)) {
    setCursor(Qt::PointingHandCursor);
    setToolTip(address.toDisplayString());
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    ApplyColour();
}

QColor CHyperLink::LinkColour() {
    return QColor(0, 0, 238);
}

QColor CHyperLink::VisitedColour() {
    return QColor(85, 26, 139);
}

void CHyperLink::OpenAddress() {
    const std::optional<QString> error =
        m_opener ? m_opener(m_address) : std::optional<QString>(QStringLiteral("No opener."));
    if (error) {
        m_sink.Show({MessageKind::Warning, std::string(kOpenFailed) + error->toStdString()});
        return;
    }
    m_visited = true;
    ApplyColour();
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    // The press belongs to the link, so that the dialog under it stays open.
    event->accept();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        OpenAddress();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        event->accept();
        OpenAddress();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CHyperLink::ApplyColour() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, m_visited ? VisitedColour() : LinkColour());
    setPalette(colours);
}

} // namespace lorvanta
