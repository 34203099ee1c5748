#pragma once

#include <QToolBar>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace lorvanta {

class CBarEdit;
class MessageSink;

// The pitch bar: a shift of -6 to +6 semitones from the recordings' own note
// (C#), by a slider in twentieths of a semitone, by "+" and "-" in whole
// semitones, or typed. The shift leaves the bar as a frequency ratio through
// pitchChanged, which the frame connects to the view's SetPitch.
class CPitchCtrlBar : public QToolBar {
    Q_OBJECT

public:
    // Slider positions: shift = (position - 120) / 20 semitones.
    static constexpr int kSliderMin = 0;
    static constexpr int kSliderMax = 240;
    static constexpr int kSliderCentre = 120;

    // The factors 2^(k / 12) of the whole semitones k = -6 to +6, index k + 6.
    static const std::array<float, 13>& SemitoneFactors();
    // The note of a whole-semitone factor ("D (P2)"), else the empty text.
    static QString PitchNoteName(float factor);

    explicit CPitchCtrlBar(MessageSink& messages, QWidget* parent = nullptr);

    // Back to no shift. The constructor already does this.
    void InitPitchBar();
    // Takes the slider's position: factor, edit, note label, and the view.
    void OnPitchSliderMoved();
    // Validates and takes over the typed shift; the factor is the one typed,
    // not the slider's step.
    void ApplyPitchText();
    // To the next whole semitone above or below, and no shift.
    void OnPitchUp();
    void OnPitchDown();
    void OnPitchReset();

    float PitchFactor() const { return m_factor; }
    bool CanPitchUp() const;
    bool CanPitchDown() const;
    bool CanReset() const;

    QLineEdit* PitchEdit() const;
    QSlider* Slider() const { return m_slider; }
    QLabel* NoteLabel() const { return m_noteLabel; }
    QPushButton* DownButton() const { return m_downButton; }
    QPushButton* UpButton() const { return m_upButton; }
    QPushButton* ResetButton() const { return m_resetButton; }

signals:
    void pitchChanged(float factor);

private:
    void SetSliderPosition(int position);
    void UpdateEnabling();

    MessageSink& m_messages;
    QLabel* m_pitchLabel = nullptr;
    CBarEdit* m_edit = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_noteLabel = nullptr;
    QPushButton* m_downButton = nullptr;
    QPushButton* m_upButton = nullptr;
    QPushButton* m_resetButton = nullptr;

    float m_factor = 1.0f;
    // Set while the edit's text is being applied (see the tempo bar).
    bool m_applying = false;
};

} // namespace lorvanta
