#pragma once

#include "notation/Notation.h"
#include "session/EditorObserver.h"
#include "session/Observers.h"

#include <QTextCharFormat>
#include <QWidget>

#include <string>
#include <vector>

class QPushButton;
class QTextEdit;

namespace lorvanta {

class CLorvantaDoc;
class CLorvantaSession;
class CTaal;
class MessageSink;

// The notation pane: the Taal as one line of text, which the user may edit
// and apply as a new Taal. Sits under the bol grid.
class CTaalTextView : public QWidget, private EditorObserver {
    Q_OBJECT

public:
    // Strip at the bottom of the pane that holds the buttons, and their size.
    static constexpr int kButtonStripHeight = 45;
    static constexpr int kButtonWidth = 75;
    static constexpr int kButtonHeight = 25;
    static constexpr int kButtonTopFromBottom = 35;
    // Apply reads at most this many bytes of the text.
    static constexpr int kMaxTextBytes = 65534;

    explicit CTaalTextView(MessageSink& messages, QWidget* parent = nullptr);
    ~CTaalTextView() override;

    // The session whose Taal the pane shows and Apply replaces: the text is
    // rewritten right away and after every change its editor announces.
    void SetSession(CLorvantaSession* session);
    // A document alone (the text only, as in tests of the text): Apply
    // assigns the parsed Taal directly, and nothing is followed.
    void SetDocument(CLorvantaDoc* doc);

    // Rewrites the text from the document's Taal (or the hint for an empty
    // Taal), discarding unapplied edits. Does nothing while Apply runs.
    void RefreshText();
    // Parses the text into a new Taal that replaces the document's Taal as one
    // undoable step. Returns whether it did.
    bool ApplyText();
    // Puts the last written or applied text back.
    void RevertText();
    // Colours a bol's text blue, or black again when it already is; -1 or
    // clearFirst makes the whole text black first.
    void HighlightBol(int index, bool clearFirst);

    const std::string& AppliedText() const { return m_appliedText; }
    const std::vector<BolRange>& BolRanges() const { return m_bolRanges; }
    // The character positions in the control of a bol's text (start, end).
    std::pair<int, int> BolCharRange(int index) const;

    QTextEdit* TextControl() const { return m_text; }
    QPushButton* ApplyButton() const { return m_applyButton; }
    QPushButton* RevertButton() const { return m_revertButton; }
    QPushButton* HelpButton() const { return m_helpButton; }

    static QTextCharFormat NormalFormat();
    static QTextCharFormat HighlightFormat();
    static const QColor& HighlightColour();

signals:
    // The Help button: the frame opens the help page.
    void helpRequested();
    // Apply replaced the document's Taal and marked the document modified;
    // the grid takes the keyboard focus.
    void taalApplied();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnBolsInserted(int, int) override { TaalChanged(); }
    void OnBolsRemoved(int, int) override { TaalChanged(); }
    void OnBolsChanged(int, int) override { TaalChanged(); }
    void OnTaalReplaced(TaalReplacement) override { TaalChanged(); }
    void OnSelectionChanged(const SelectionChange& change) override;
    void OnLongOperationStarted() override { ++m_longOperations; }
    void OnLongOperationEnded() override;
    // The text follows a change at once, or at the end of a long operation.
    void TaalChanged();
    void SetControlText(const std::string& text);
    std::string ReadControlText() const;
    void LayOut();

    MessageSink& m_messages;
    CLorvantaDoc* m_doc = nullptr;
    CLorvantaSession* m_session = nullptr;
    Subscription m_subscription;
    int m_longOperations = 0;
    bool m_changedDuringOperation = false;

    QTextEdit* m_text = nullptr;
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_revertButton = nullptr;
    QPushButton* m_helpButton = nullptr;

    std::string m_appliedText;
    std::vector<BolRange> m_bolRanges;
    // Set while Apply replaces the Taal: the editor's notices of a changed
    // Taal must not overwrite the text just applied.
    bool m_applying = false;
};

} // namespace lorvanta
