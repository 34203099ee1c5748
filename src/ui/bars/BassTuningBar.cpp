#include "ui/bars/BassTuningBar.h"

#include "audio/StrokeStyle.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QSignalBlocker>

namespace lorvanta {

CBassTuningBar::CBassTuningBar(QWidget* parent) : QToolBar(tr("Bass Drum Tuning"), parent) {
    setObjectName(QStringLiteral("BassTuningBar"));
    m_spin = new QDoubleSpinBox(this);
    m_spin->setObjectName(QStringLiteral("bassTuningSpin"));
    m_spin->setRange(kMinBassTuning, kMaxBassTuning);
    m_spin->setSingleStep(0.5);
    m_spin->setDecimals(1);
    m_spin->setSuffix(tr(" semitones"));
    m_spin->setToolTip(tr("The bass drum's tuning against the treble drum"));
    addWidget(new QLabel(tr("Bass drum "), this));
    addWidget(m_spin);
    connect(m_spin, &QDoubleSpinBox::valueChanged, this,
            [this](double value) { emit tuningChanged(static_cast<float>(value)); });
}

void CBassTuningBar::SetTuning(float semitones) {
    const QSignalBlocker quiet(m_spin);
    m_spin->setValue(semitones);
}

float CBassTuningBar::Tuning() const {
    return static_cast<float>(m_spin->value());
}

} // namespace lorvanta
