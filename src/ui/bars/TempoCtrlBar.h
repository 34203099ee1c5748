#pragma once

#include "session/TempoRamp.h"

#include <QToolBar>

class QLineEdit;

class QAction;
class QLabel;
class QPushButton;
class QSlider;

namespace lorvanta {

class CBarEdit;
class MessageSink;

// The tempo bar: the tempo in bpm through a logarithmic slider and an edit,
// a second "quick change" tempo to jump to, Reset to the open Taal's
// default tempo, and Tap to set the tempo by tapping it. The tempo leaves the bar as seconds per
// beat through tempoChanged, which the frame connects to the view's SetTempo.
class CTempoCtrlBar : public QToolBar {
    Q_OBJECT

public:
    // Slider positions: bpm = 10^(position / 100).
    static constexpr int kSliderMin = 100;
    static constexpr int kSliderMax = 300;
    static constexpr double kMinTempo = 10.0;
    static constexpr double kMaxTempo = 1000.0;

    explicit CTempoCtrlBar(MessageSink& messages, QWidget* parent = nullptr);

    // Back to the state of a new window: slider at 100 bpm, both tempos
    // 0.6 s per beat. The constructor already does this.
    void InitTempoBar();

    // Applies a tempo: the view is told, the slider shows the nearest step at
    // or below it. The edits are left alone.
    void SetTempoBpm(double bpm);
    // Validate and take over the tempo edit's or the quick-change edit's text.
    void ApplyTempoText();
    void ApplyQuickTempoText();
    // The slider while its thumb moves (the edit follows, the sound does not)
    // and once a move is complete (the sound follows too).
    void OnTempoSliderScroll();
    void OnTempoSliderChange();
    void OnQuickChange();
    void OnResetTempo();
    // A tap (the Tap button, T in the grid) at `at`: from the second tap of a
    // run on, the taps' tempo is applied as a tempo typed in.
    void OnTap(TapTempo::Clock::time_point at);
    // Shows a tempo the session set itself (a tempo ramp) without sending it back.
    void ShowTempo(float secondsPerBeat);

    // The application's step after a document is opened: the Taal's default
    // tempo (already put in range) becomes the current and the default tempo.
    void ApplyDocumentTempo(double bpm);
    // The tempo Reset returns to; undoing a Taal Properties edit sets it.
    void SetDefaultTempo(double bpm);
    // A stored default tempo as a document opens with it: outside 10 to 1000
    // bpm (or no number) it becomes the default 100.0000.
    static float AcceptedDocumentTempo(float stored);

    float SecondsPerBeat() const { return m_secondsPerBeat; }
    float QuickSecondsPerBeat() const { return m_quickSecondsPerBeat; }
    double DefaultTempo() const { return m_defaultTempo; }
    bool CanQuickChange() const;
    bool CanReset() const;

    // Quick Change as a window command with its Ctrl+Q shortcut; enabled with
    // the button. The frame adds it to the main window so that it works while
    // the bar is hidden.
    QAction* QuickChangeAction() const { return m_quickChangeAction; }

    QLineEdit* TempoEdit() const;
    QLineEdit* QuickEdit() const;
    QSlider* Slider() const { return m_slider; }
    QPushButton* ResetButton() const { return m_resetButton; }
    QPushButton* QuickChangeButton() const { return m_quickChangeButton; }
    QPushButton* TapButton() const { return m_tapButton; }

signals:
    void tempoChanged(float secondsPerBeat);

private:
    void SetSliderPosition(int position);
    void RefuseTempo(CBarEdit* edit);
    void UpdateEnabling();

    MessageSink& m_messages;
    QLabel* m_tempoLabel = nullptr;
    CBarEdit* m_tempoEdit = nullptr;
    QLabel* m_bpmLabel = nullptr;
    QSlider* m_slider = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_quickChangeButton = nullptr;
    QPushButton* m_tapButton = nullptr;
    TapTempo m_taps;
    CBarEdit* m_quickEdit = nullptr;
    QLabel* m_quickBpmLabel = nullptr;
    QAction* m_quickChangeAction = nullptr;

    double m_defaultTempo;
    float m_secondsPerBeat = 0.6f;
    float m_quickSecondsPerBeat = 0.6f;
    // Set while an edit's text is being applied, so that the focus leaving the
    // edit for the message box does not apply it a second time.
    bool m_applying = false;
};

} // namespace lorvanta
