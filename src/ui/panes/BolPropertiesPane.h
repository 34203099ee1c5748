#pragma once

// The bol properties pane: the form under the Taal browser that shows and
// edits one bol (its name, duration, and for each of its two sounds the
// instrument, the sound and the emphasis). It shows the bol the editor's
// selection announces; Apply hands the edited bol on, Play Bol lets the user
// hear the form's values first.

#include "model/Bol.h"
#include "session/EditorObserver.h"
#include "session/Observers.h"

#include <QMetaType>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace lorvanta {

class CLorvantaSession;
class CNumEdit;
class CNumSpinCtrl;
class MessageSink;

class CBolPropertiesPane : public QWidget, private EditorObserver {
    Q_OBJECT

public:
    // Ranges the form accepts when it reads a field, and those of the spins.
    static constexpr float kDurationMin = 0.0f;
    static constexpr float kDurationMax = 10.0f;
    static constexpr float kDurationStep = 0.25f;
    static constexpr float kEmphasisSpinMin = -20.0f;
    static constexpr float kEmphasisSpinMax = 20.0f;
    static constexpr float kEmphasisStep = 1.0f;
    static constexpr float kEmphasisReadMin = -40.0f;
    static constexpr float kEmphasisReadMax = 40.0f;
    static constexpr const char* kEnterNumber = "Enter a number.";
    static constexpr const char* kEnterNumberBetween = "Enter a number between %1 and %2.";

    // The sink reports fields that fail when the form is read; it must
    // outlive the pane.
    explicit CBolPropertiesPane(MessageSink& sink, QWidget* parent = nullptr);
    ~CBolPropertiesPane() override;

    // The session whose editor's selection the pane follows; null follows
    // nothing.
    void SetSession(CLorvantaSession* session);

    // ShowBol copies the bol (at its position in the Taal) and fills the form
    // from it. EnableFields: the first flag turns every field and Play Bol on
    // or off, the other two Apply and Revert. LoadFields (also Revert) fills
    // the form from the pane's copy. ClearFields empties the form and turns
    // it off: no bol is selected.
    void ShowBol(const CBol2& bol, int index);
    void EnableFields(bool controls, bool apply, bool revert);
    void LoadFields();
    void ClearFields();

    // The buttons' work.
    void OnApply();
    void OnPlayBol();

    // The pane's own copy of its bol, as Apply last wrote or ShowBol copied.
    const CBol2& EditedBol() const { return m_edited; }
    std::uint32_t PitchSoundId() const { return m_pitchSoundId; }
    std::uint32_t BassSoundId() const { return m_bassSoundId; }

    // The controls, for the window and the tests.
    QLabel* BolNumber() const { return m_bolNumberText; }
    QPushButton* PlayBolButton() const { return m_playBol; }
    QComboBox* NameBox() const { return m_nameBox; }
    CNumEdit* DurationEdit() const { return m_durationEdit; }
    CNumSpinCtrl* DurationSpin() const { return m_durationSpin; }
    QComboBox* PitchInstrumentList() const { return m_pitchInstrumentList; }
    QComboBox* PitchSoundList() const { return m_pitchSoundList; }
    CNumEdit* PitchEmphasisEdit() const { return m_pitchEmphasisEdit; }
    CNumSpinCtrl* PitchEmphasisSpin() const { return m_pitchEmphasisSpin; }
    QComboBox* BassInstrumentList() const { return m_bassInstrumentList; }
    QComboBox* BassSoundList() const { return m_bassSoundList; }
    CNumEdit* BassEmphasisEdit() const { return m_bassEmphasisEdit; }
    CNumSpinCtrl* BassEmphasisSpin() const { return m_bassEmphasisSpin; }
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* RevertButton() const { return m_revert; }

signals:
    // Apply: the grid stores the edited bol in place of its current one.
    void applyRequested(const lorvanta::CBol2& edited);
    // Play Bol: the grid stops the Taal and plays this bol's two sounds.
    void playBolRequested(const lorvanta::CBol2& bol);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSelectionChanged(const SelectionChange& change) override;
    void CreateControls();
    void FillLists();
    static void FillSoundList(QComboBox* list, bool pitch);
    // Field exchange: the members into the form, the form into the members.
    // Reading stops at a field that fails, which keeps its old value and so
    // do the fields after it; false then, after the message when reporting.
    void WriteForm();
    bool ReadForm(bool report = true);
    bool ReadFloatField(CNumEdit* edit, float minimum, float maximum, float& member, bool report);
    // One of the three numeric fields into its member.
    bool ReadFloatField(CNumEdit* edit, bool report);
    // A field was typed in or spun: read the form, offer Apply and Revert.
    void OnChange();
    void OnNameChosen(int index);
    void OnSoundChosen(bool pitch, int index);
    void OnInstrumentChosen(bool pitch, int index);

    MessageSink& m_sink;
    CLorvantaSession* m_session = nullptr;
    Subscription m_subscription;

    std::uint32_t m_bassSoundId = kSilenceSoundId;
    std::uint32_t m_pitchSoundId = kSilenceSoundId;
    CBol2 m_edited;

    QLabel* m_bolNumberText = nullptr;
    QPushButton* m_playBol = nullptr;
    QComboBox* m_nameBox = nullptr;
    CNumEdit* m_durationEdit = nullptr;
    CNumSpinCtrl* m_durationSpin = nullptr;
    QComboBox* m_pitchInstrumentList = nullptr;
    QComboBox* m_pitchSoundList = nullptr;
    CNumEdit* m_pitchEmphasisEdit = nullptr;
    CNumSpinCtrl* m_pitchEmphasisSpin = nullptr;
    QComboBox* m_bassInstrumentList = nullptr;
    QComboBox* m_bassSoundList = nullptr;
    CNumEdit* m_bassEmphasisEdit = nullptr;
    CNumSpinCtrl* m_bassEmphasisSpin = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_revert = nullptr;

    // The form's values, in the order the form exchanges them.
    QString m_nameText;
    QString m_bolNumber;
    float m_bassEmphasis = 0.0f;
    QString m_bassSoundName;
    float m_duration = 0.0f;
    float m_pitchEmphasis = 0.0f;
    QString m_pitchSoundName;
    int m_pitchInstrument = Tabla;
    int m_bassInstrument = Tabla;

    bool m_controlsEnabled = true;
    // Set while the pane writes its own controls: their change notices are
    // not the user's edits.
    bool m_writing = false;
    // Set while the name box's editing ends: a choice reported then is the
    // typed text matching an item, not a choice from the list.
    bool m_nameEditEnding = false;
};

} // namespace lorvanta

// Bols travel in the pane's signals.
Q_DECLARE_METATYPE(lorvanta::CBol2)
