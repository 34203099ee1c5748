#include "app/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>

namespace lorvanta {

namespace {

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Question:
        return QMessageBox::Question;
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Plain:
        return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// Closing a box with Escape or its close button counts as its way out: Cancel
// where there is one, No for Yes/No, OK for a lone OK.
MessageAnswer AnswerOf(QMessageBox::StandardButton pressed, MessageButtons buttons) {
    switch (pressed) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Cancel;
    }
}

} // namespace

MessageAnswer CQtMessageSink::Show(const UserMessage& message) {
    QMessageBox box(IconOf(message.kind), QString::fromLatin1(kTitle),
                    QString::fromStdString(message.text), ButtonsOf(message.buttons),
                    QApplication::activeWindow());
    if (message.buttons == MessageButtons::YesNo)
        box.setEscapeButton(QMessageBox::No);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    return AnswerOf(pressed, message.buttons);
}

} // namespace lorvanta
