#include "ui/panes/TaalTextView.h"

#include "model/Action.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "session/LorvantaSession.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <utility>

namespace lorvanta {
namespace {

// Ctrl+C, Ctrl+X and Ctrl+V (Shift or not): inside the text control they act
// on its text, never on the grid's bols through the window's shortcuts.
bool IsClipboardKey(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (!(modifiers & Qt::ControlModifier) || (modifiers & (Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const int key = event->key();
    return key == Qt::Key_C || key == Qt::Key_X || key == Qt::Key_V;
}

// The text control: plain text in and out of the clipboard, the clipboard
// keys kept to itself, and the hint cleared when the user comes to type.
class CTaalTextEdit : public QTextEdit {
public:
    using QTextEdit::QTextEdit;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            IsClipboardKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QTextEdit::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (!IsClipboardKey(event)) {
            QTextEdit::keyPressEvent(event);
            return;
        }
        switch (event->key()) {
        case Qt::Key_C:
            copy();
            break;
        case Qt::Key_X:
            cut();
            break;
        default:
            paste();
            break;
        }
        event->accept();
    }

    void focusInEvent(QFocusEvent* event) override {
        QTextEdit::focusInEvent(event);
        if (toPlainText() == QString::fromUtf8(kNotationHintText.data(),
                                               static_cast<qsizetype>(kNotationHintText.size()))) {
            QTextCursor cursor = textCursor();
            cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            setTextCursor(cursor);
        }
    }

    bool canInsertFromMimeData(const QMimeData* source) const override { return source->hasText(); }

    void insertFromMimeData(const QMimeData* source) override {
        if (source->hasText())
            insertPlainText(source->text());
    }
};

// Whole characters only: a cut inside a UTF-8 sequence drops its lead.
std::size_t CharacterBoundaryAtOrBelow(const std::string& text, std::size_t size) {
    while (size > 0 && size < text.size() &&
           (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
        --size;
    return size;
}

} // namespace

CTaalTextView::CTaalTextView(MessageSink& messages, QWidget* parent)
    : QWidget(parent), m_messages(messages) {
    setObjectName(QStringLiteral("TaalTextView"));
    m_text = new CTaalTextEdit(this);
    m_text->setObjectName(QStringLiteral("notationText"));
    m_text->setAcceptRichText(false);
    m_text->setLineWrapMode(QTextEdit::WidgetWidth);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setFrameShape(QFrame::StyledPanel);
    // The normal format is the control's default: what it shows and types.
    const QTextCharFormat normal = NormalFormat();
    m_text->document()->setDefaultFont(normal.font());
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    m_text->setPalette(palette);
    m_text->setCurrentCharFormat(normal);

    m_helpButton = new QPushButton(tr("Help"), this);
    m_helpButton->setObjectName(QStringLiteral("notationHelpButton"));
    m_applyButton = new QPushButton(tr("Apply"), this);
    m_applyButton->setObjectName(QStringLiteral("notationApplyButton"));
    m_revertButton = new QPushButton(tr("Revert"), this);
    m_revertButton->setObjectName(QStringLiteral("notationRevertButton"));

    connect(m_helpButton, &QPushButton::clicked, this, &CTaalTextView::helpRequested);
    connect(m_applyButton, &QPushButton::clicked, this, [this] { ApplyText(); });
    connect(m_revertButton, &QPushButton::clicked, this, [this] { RevertText(); });

    LayOut();
    RefreshText();
}

QTextCharFormat CTaalTextView::NormalFormat() {
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Times")});
    format.setFontPointSize(15.0);
    format.setFontWeight(QFont::Normal);
    format.setForeground(QColor(0, 0, 0));
    format.setBackground(QColor(255, 255, 255));
    return format;
}

QTextCharFormat CTaalTextView::HighlightFormat() {
    QTextCharFormat format = NormalFormat();
    format.setForeground(HighlightColour());
    return format;
}

const QColor& CTaalTextView::HighlightColour() {
    static const QColor blue(0, 0, 255);
    return blue;
}

CTaalTextView::~CTaalTextView() {
    SetSession(nullptr);
}

void CTaalTextView::SetSession(CLorvantaSession* session) {
    m_subscription.Reset();
    m_session = session;
    if (m_session)
        m_subscription = m_session->Editor().Subscribe(*this);
    m_doc = m_session ? &m_session->Document() : nullptr;
    RefreshText();
}

void CTaalTextView::SetDocument(CLorvantaDoc* doc) {
    SetSession(nullptr);
    m_doc = doc;
    RefreshText();
}

void CTaalTextView::TaalChanged() {
    if (m_longOperations > 0)
        m_changedDuringOperation = true;
    else
        RefreshText();
}

void CTaalTextView::OnLongOperationEnded() {
    if (--m_longOperations == 0 && std::exchange(m_changedDuringOperation, false))
        RefreshText();
}

void CTaalTextView::OnSelectionChanged(const SelectionChange& change) {
    // An edit moving the selection leaves the colours to the rewritten text.
    if (change.exclusive || change.toggled >= 0)
        HighlightBol(change.toggled, change.exclusive);
}

void CTaalTextView::RefreshText() {
    if (m_applying)
        return;
    if (m_doc) {
        TaalText written = NotationPaneText(*m_doc);
        m_appliedText = std::move(written.text);
        m_bolRanges = std::move(written.ranges);
    } else {
        m_appliedText = std::string(kNotationHintText);
        m_bolRanges.clear();
    }
    SetControlText(m_appliedText);
}

void CTaalTextView::RevertText() {
    SetControlText(m_appliedText);
}

void CTaalTextView::SetControlText(const std::string& text) {
    m_text->setPlainText(QString::fromStdString(text));
    QTextCursor cursor(m_text->document());
    cursor.select(QTextCursor::Document);
    cursor.setCharFormat(NormalFormat());
    m_text->setCurrentCharFormat(NormalFormat());
    m_text->moveCursor(QTextCursor::Start);
}

std::string CTaalTextView::ReadControlText() const {
    std::string text = m_text->toPlainText().toStdString();
    if (text.size() > static_cast<std::size_t>(kMaxTextBytes))
        text.resize(CharacterBoundaryAtOrBelow(text, kMaxTextBytes));
    return text;
}

bool CTaalTextView::ApplyText() {
    if (!m_doc)
        return false;
    const std::string text = ReadControlText();
    // The hint shown for an empty Taal is no Taal to apply.
    if (text == kNotationHintText)
        return false;

    CTaal parsed(kNewTaalName);
    if (!ParseTaalText(text, parsed, m_messages)) {
        UserMessage question;
        question.kind = MessageKind::Question;
        question.text = "Error in Taal entered. Would you like to retry?";
        question.buttons = MessageButtons::RetryCancel;
        if (m_messages.Show(question) != MessageAnswer::Retry)
            RevertText();
        return false;
    }

    if (m_session && m_session->IsPlaying()) {
        UserMessage question;
        question.kind = MessageKind::Question;
        question.text = "To continue, you must stop the currently playing Taal. Do you want to "
                        "stop the playing Taal?";
        question.buttons = MessageButtons::YesNo;
        if (m_messages.Show(question) != MessageAnswer::Yes)
            return false;
        m_session->Stop();
    }

    const bool wasApplying = std::exchange(m_applying, true);
    // The typed text never renames the Taal.
    parsed.SetName(m_doc->Taal().Name());
    if (m_session) {
        // The parser keeps the limits the editor checks, so a refusal here
        // is said but not expected.
        if (const auto refused = LimitMessage(m_session->Editor().ReplaceTaal(parsed)))
            m_messages.Show(*refused);
    } else {
        HighlightBol(-1, true);
        m_doc->Taal().Assign(parsed);
    }
    if (m_doc->Taal().Count() > 0)
        m_doc->SetEmpty(false);

    // The text stays as typed; its ranges come from the text itself.
    m_appliedText = text;
    m_bolRanges = AppliedTextRanges(m_appliedText);
    m_doc->SetModified(true);
    m_applying = wasApplying;
    emit taalApplied();
    return true;
}

std::pair<int, int> CTaalTextView::BolCharRange(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_bolRanges.size())
        return {0, 0};
    // Ranges count bytes of the UTF-8 text; the control counts characters.
    const auto toCharacters = [this](std::int32_t offset) {
        const auto bytes = static_cast<qsizetype>(
            std::clamp<std::int64_t>(offset, 0, static_cast<std::int64_t>(m_appliedText.size())));
        return static_cast<int>(QString::fromUtf8(m_appliedText.data(), bytes).size());
    };
    const BolRange& range = m_bolRanges[static_cast<std::size_t>(index)];
    return {toCharacters(range.start), toCharacters(range.end)};
}

void CTaalTextView::HighlightBol(int index, bool clearFirst) {
    QTextDocument* document = m_text->document();
    if (clearFirst || index == -1) {
        QTextCursor cursor(document);
        cursor.select(QTextCursor::Document);
        cursor.setCharFormat(NormalFormat());
        m_text->moveCursor(QTextCursor::Start);
    }
    if (index < 0 || static_cast<std::size_t>(index) >= m_bolRanges.size())
        return;
    if (m_doc && index >= m_doc->Taal().Count())
        return;
    // The control may hold edits that moved the text: stay inside it.
    const int length = std::max(0, document->characterCount() - 1);
    auto [start, end] = BolCharRange(index);
    start = std::min(start, length);
    end = std::min(end, length);
    if (start >= end)
        return;
    QTextCursor cursor(document);
    cursor.setPosition(start + 1);
    const bool isBlue = cursor.charFormat().foreground().color() == HighlightColour();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.setCharFormat(isBlue ? NormalFormat() : HighlightFormat());
}

void CTaalTextView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CTaalTextView::LayOut() {
    const int w = width();
    const int h = height();
    m_text->setGeometry(0, 0, w, std::max(0, h - kButtonStripHeight));
    const int top = h - kButtonTopFromBottom;
    m_helpButton->setGeometry(10, top, kButtonWidth, kButtonHeight);
    m_applyButton->setGeometry(w - 170, top, kButtonWidth, kButtonHeight);
    m_revertButton->setGeometry(w - 85, top, kButtonWidth, kButtonHeight);
}

} // namespace lorvanta
