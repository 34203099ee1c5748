#pragma once

#include "session/TempoRamp.h"

#include <QDialog>

class QDoubleSpinBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace lorvanta {

class MessageSink;

// Audio > Tempo Ramp: from the current tempo to a target, by a step every so
// many cycles or evenly over so many minutes. OK starts the ramp; End Ramp
// (shown while one runs) ends it, keeping the tempo reached.
class CTempoRampDialog : public QDialog {
    Q_OBJECT

public:
    CTempoRampDialog(double currentBpm, bool ramping, MessageSink& sink, QWidget* parent = nullptr);

    RampRequest Request() const;
    // Whether the dialog closed through End Ramp.
    bool EndRequested() const { return m_endRequested; }
    // OK: a request the ramp refuses is told and the dialog stays.
    void accept() override;

    QDoubleSpinBox* TargetBox() const { return m_target; }
    QDoubleSpinBox* StepBox() const { return m_step; }
    QSpinBox* CyclesBox() const { return m_cycles; }
    QDoubleSpinBox* MinutesBox() const { return m_minutes; }
    QRadioButton* EvenChoice() const { return m_even; }
    QPushButton* EndButton() const { return m_endButton; }

private:
    MessageSink& m_sink;
    QDoubleSpinBox* m_target = nullptr;
    QRadioButton* m_stepped = nullptr;
    QDoubleSpinBox* m_step = nullptr;
    QSpinBox* m_cycles = nullptr;
    QRadioButton* m_even = nullptr;
    QDoubleSpinBox* m_minutes = nullptr;
    QPushButton* m_endButton = nullptr;
    bool m_endRequested = false;
};

} // namespace lorvanta
