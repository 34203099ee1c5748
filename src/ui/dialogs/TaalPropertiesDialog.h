#pragma once

// Edit > Taal Properties and Edit > Expand > Custom: two small modal dialogs
// that only collect and check values. The commands that open them compare the
// results with the Taal and record the change.

#include "model/Vibhags.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lorvanta {

class MessageSink;

// The Taal's name, default tempo and vibhags.
class CTaalProperties : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Taal Properties";
    static constexpr const char* kTempoOutOfRange =
        "Tempo out of range: Enter a value between %1 and %2 (measured in bpm)";
    static constexpr double kMinTempo = 10.0;
    static constexpr double kMaxTempo = 1000.0;

    // An empty name and the default tempo.
    explicit CTaalProperties(MessageSink& sink, QWidget* parent = nullptr);
    CTaalProperties(const QString& name, float tempo, MessageSink& sink, QWidget* parent = nullptr);

    // The vibhags the Taal stores and the Taal's length: the field shows the
    // stored ones (none when they cannot be read), the note why the grid does
    // not show them.
    void SetVibhags(const ShownVibhags& shown, float taalLength);

    // After OK: what the user entered. Vibhags is the typed text when it was
    // changed, nothing when the stored vibhags stay as they are.
    const QString& Name() const { return m_name; }
    float Tempo() const { return m_tempo; }
    const std::optional<std::string>& Vibhags() const { return m_vibhags; }

    // OK: a tempo outside 10 to 1000 bpm, or changed vibhags that do not read
    // or do not add up to the Taal's length, are refused with a message and the
    // dialog stays open as it was; otherwise the values are taken.
    void accept() override;

    QLineEdit* NameEdit() const { return m_nameEdit; }
    QLineEdit* TempoEdit() const { return m_tempoEdit; }
    QLineEdit* VibhagsEdit() const { return m_vibhagsEdit; }
    QLabel* VibhagsNote() const { return m_vibhagsNote; }
    QPushButton* OkButton() const { return m_okButton; }

private:
    MessageSink& m_sink;
    QString m_name;
    float m_tempo;
    std::optional<std::string> m_vibhags;
    QString m_shownVibhags; // the field's text as it was set
    float m_taalLength = 0.0f;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_tempoEdit = nullptr;
    QLineEdit* m_vibhagsEdit = nullptr;
    QLabel* m_vibhagsNote = nullptr;
    QPushButton* m_okButton = nullptr;
};

// The factor the selected bols' durations are multiplied by.
class CExpandDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Expand Selected Bols";
    static constexpr const char* kOutOfRange = "Multiplier must be between 0.1 and 10.";
    static constexpr const char* kInitialText = "2.0";
    static constexpr double kMinMultiplier = 0.1;
    static constexpr double kMaxMultiplier = 10.0;

    explicit CExpandDlg(MessageSink& sink, QWidget* parent = nullptr);

    // 1.0 until OK succeeds.
    float Multiplier() const { return m_multiplier; }

    // OK: a factor outside 0.1 to 10 is refused with a message and the
    // dialog stays open.
    void accept() override;

    QLineEdit* MultiplierEdit() const { return m_multiplierEdit; }
    QPushButton* OkButton() const { return m_okButton; }

private:
    MessageSink& m_sink;
    float m_multiplier = 1.0f;
    QLineEdit* m_multiplierEdit = nullptr;
    QPushButton* m_okButton = nullptr;
};

} // namespace lorvanta
