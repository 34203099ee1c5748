#pragma once

#include <QToolBar>

class QDoubleSpinBox;

namespace lorvanta {

// Beside the pitch bar: the bass drum's tuning against the treble drum, -5 to
// +5 semitones in half steps. At 0 the bass drum follows the pitch bar alone,
// as a player retunes the treble drum to a new Sa and the bass drum apart.
class CBassTuningBar : public QToolBar {
    Q_OBJECT

public:
    explicit CBassTuningBar(QWidget* parent = nullptr);

    // Shows a tuning without announcing it.
    void SetTuning(float semitones);
    float Tuning() const;
    QDoubleSpinBox* SpinBox() const { return m_spin; }

signals:
    void tuningChanged(float semitones);

private:
    QDoubleSpinBox* m_spin = nullptr;
};

} // namespace lorvanta
