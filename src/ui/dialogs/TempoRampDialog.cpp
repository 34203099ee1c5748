#include "ui/dialogs/TempoRampDialog.h"

#include "model/Messages.h"
#include "model/PlaybackLimits.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace lorvanta {

CTempoRampDialog::CTempoRampDialog(double currentBpm, bool ramping, MessageSink& sink,
                                   QWidget* parent)
    : QDialog(parent), m_sink(sink) {
    setWindowTitle(tr("Tempo Ramp"));
    const double current = std::clamp(currentBpm, kMinTempoBpm, kMaxTempoBpm);
    auto* from = new QLabel(
        tr("From the current tempo, %1 bpm, while playing:").arg(current, 0, 'f', 1), this);

    m_target = new QDoubleSpinBox(this);
    m_target->setObjectName(QStringLiteral("rampTarget"));
    m_target->setRange(kMinTempoBpm, kMaxTempoBpm);
    m_target->setDecimals(1);
    m_target->setValue(std::min(kMaxTempoBpm, current + 40.0));
    m_stepped = new QRadioButton(tr("By &steps of"), this);
    m_stepped->setChecked(true);
    m_step = new QDoubleSpinBox(this);
    m_step->setObjectName(QStringLiteral("rampStep"));
    m_step->setRange(0.1, kMaxTempoBpm - kMinTempoBpm);
    m_step->setDecimals(1);
    m_step->setValue(5.0);
    m_cycles = new QSpinBox(this);
    m_cycles->setObjectName(QStringLiteral("rampCycles"));
    m_cycles->setRange(1, 1000);
    m_cycles->setValue(4);
    m_even = new QRadioButton(tr("&Evenly over"), this);
    m_minutes = new QDoubleSpinBox(this);
    m_minutes->setObjectName(QStringLiteral("rampMinutes"));
    m_minutes->setRange(0.1, 600.0);
    m_minutes->setDecimals(1);
    m_minutes->setValue(5.0);

    auto* grid = new QGridLayout;
    // The label names the box it belongs to, so Alt+T goes there (without a
    // buddy a label shows its ampersand).
    auto* targetLabel = new QLabel(tr("To &target tempo"), this);
    targetLabel->setBuddy(m_target);
    grid->addWidget(targetLabel, 0, 0);
    grid->addWidget(m_target, 0, 1);
    grid->addWidget(new QLabel(tr("bpm"), this), 0, 2);
    grid->addWidget(m_stepped, 1, 0);
    grid->addWidget(m_step, 1, 1);
    grid->addWidget(new QLabel(tr("bpm every"), this), 1, 2);
    grid->addWidget(m_cycles, 1, 3);
    grid->addWidget(new QLabel(tr("cycles"), this), 1, 4);
    grid->addWidget(m_even, 2, 0);
    grid->addWidget(m_minutes, 2, 1);
    grid->addWidget(new QLabel(tr("minutes"), this), 2, 2);
    auto* note = new QLabel(tr("Steps begin with a cycle. The ramp holds at the target; a "
                               "tempo you set yourself, or Stop, ends it."),
                            this);
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_endButton = buttons->addButton(tr("E&nd Ramp"), QDialogButtonBox::ResetRole);
    m_endButton->setObjectName(QStringLiteral("endRampButton"));
    m_endButton->setVisible(ramping);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTempoRampDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_endButton, &QPushButton::clicked, this, [this] {
        m_endRequested = true;
        QDialog::accept();
    });
    const auto follow = [this] {
        m_step->setEnabled(m_stepped->isChecked());
        m_cycles->setEnabled(m_stepped->isChecked());
        m_minutes->setEnabled(m_even->isChecked());
    };
    connect(m_stepped, &QRadioButton::toggled, this, follow);
    follow();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(from);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

RampRequest CTempoRampDialog::Request() const {
    return {m_even->isChecked() ? RampRequest::Form::Even : RampRequest::Form::Stepped,
            m_target->value(), m_step->value(), m_cycles->value(), m_minutes->value()};
}

void CTempoRampDialog::accept() {
    if (const RampStatus status = TempoRamp::Check(Request()); status != RampStatus::Ok) {
        m_sink.Show({MessageKind::Information, StatusText(status)});
        return;
    }
    QDialog::accept();
}

} // namespace lorvanta
