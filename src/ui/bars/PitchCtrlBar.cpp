#include "ui/bars/PitchCtrlBar.h"

#include "model/Messages.h"
#include "model/PlaybackLimits.h"
#include "ui/bars/BarEdit.h"
#include "ui/bars/EditNumber.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>
#include <utility>

namespace lorvanta {
namespace {

constexpr int kStepsPerSemitone = 20;
constexpr double kMaxShift = 6.0;

constexpr std::array<const char*, 13> kNoteNames = {
    "G (P5)", "G# (K4)", "A (P6)", "A# (K5)", "B (P7)",  "C (P1)", "C# (K1)",
    "D (P2)", "D# (K2)", "E (P3)", "F (P4)",  "F# (K3)", "G (P5)",
};

std::array<float, 13> MakeSemitoneFactors() {
    std::array<float, 13> factors{};
    for (int k = -6; k <= 6; ++k)
        factors[static_cast<std::size_t>(k + 6)] = static_cast<float>(std::exp2(k / 12.0));
    return factors;
}

} // namespace

const std::array<float, 13>& CPitchCtrlBar::SemitoneFactors() {
    static const std::array<float, 13> factors = MakeSemitoneFactors();
    return factors;
}

QString CPitchCtrlBar::PitchNoteName(float factor) {
    const auto& factors = SemitoneFactors();
    for (std::size_t i = 0; i < factors.size(); ++i) {
        if (std::fabs(factor - factors[i]) < 0.0001f)
            return QString::fromLatin1(kNoteNames[i]);
    }
    return {};
}

CPitchCtrlBar::CPitchCtrlBar(MessageSink& messages, QWidget* parent)
    : QToolBar(tr("Pitch Control"), parent), m_messages(messages) {
    setObjectName(QStringLiteral("PitchCtrlBar"));

    m_pitchLabel = new QLabel(tr("Pitch"), this);
    m_edit = new CBarEdit(this);
    m_edit->SetSelectAllOnFocus(true);
    m_edit->setObjectName(QStringLiteral("pitchEdit"));
    m_edit->setAccessibleName(QStringLiteral("Pitch"));
    m_edit->setAccessibleDescription(QStringLiteral("Semitones from C#; Enter sets it"));
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("pitchSlider"));
    m_slider->setAccessibleName(QStringLiteral("Pitch slider"));
    m_slider->setRange(kSliderMin, kSliderMax);
    m_noteLabel = new QLabel(this);
    m_noteLabel->setObjectName(QStringLiteral("noteLabel"));
    m_noteLabel->setAlignment(Qt::AlignCenter);
    m_downButton = new QPushButton(QStringLiteral("-"), this);
    m_downButton->setObjectName(QStringLiteral("pitchDownButton"));
    m_upButton = new QPushButton(QStringLiteral("+"), this);
    m_upButton->setObjectName(QStringLiteral("pitchUpButton"));
    m_resetButton = new QPushButton(tr("&Reset"), this);
    m_resetButton->setObjectName(QStringLiteral("pitchResetButton"));

    const QFontMetrics metrics = m_edit->fontMetrics();
    m_edit->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("-0.000000")));
    m_noteLabel->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("G# (K4)MM")));
    m_slider->setMinimumWidth(160);
    const int buttonWidth = metrics.horizontalAdvance(QStringLiteral("MMM"));
    m_downButton->setFixedWidth(buttonWidth);
    m_upButton->setFixedWidth(buttonWidth);

    addWidget(m_pitchLabel);
    addWidget(m_edit);
    addWidget(m_slider);
    addWidget(m_noteLabel);
    addWidget(m_downButton);
    addWidget(m_upButton);
    addWidget(m_resetButton);

    const auto apply = [this] {
        if (!m_applying)
            ApplyPitchText();
    };
    connect(m_edit, &CBarEdit::enterPressed, this, apply);
    connect(m_edit, &CBarEdit::left, this, apply);
    // Every move of the slider by the user, dragged or by keys, retunes at
    // once (moves made from here are silent, see SetSliderPosition).
    connect(m_slider, &QSlider::valueChanged, this, [this] { OnPitchSliderMoved(); });
    connect(m_upButton, &QPushButton::clicked, this, [this] { OnPitchUp(); });
    connect(m_downButton, &QPushButton::clicked, this, [this] { OnPitchDown(); });
    connect(m_resetButton, &QPushButton::clicked, this, [this] { OnPitchReset(); });

    InitPitchBar();
}

void CPitchCtrlBar::InitPitchBar() {
    SetSliderPosition(kSliderCentre);
    m_factor = 1.0f;
    m_noteLabel->setText(PitchNoteName(m_factor));
    m_edit->setText(QStringLiteral("0.0000"));
    UpdateEnabling();
}

void CPitchCtrlBar::SetSliderPosition(int position) {
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(position);
}

QLineEdit* CPitchCtrlBar::PitchEdit() const {
    return m_edit;
}

void CPitchCtrlBar::OnPitchSliderMoved() {
    const int steps = m_slider->value() - kSliderCentre;
    m_factor = static_cast<float>(std::exp2(steps / (12.0 * kStepsPerSemitone)));
    const float semitones = static_cast<float>(steps) / static_cast<float>(kStepsPerSemitone);
    m_edit->setText(FormatFixed("%2.4f", static_cast<double>(semitones)));
    m_noteLabel->setText(PitchNoteName(m_factor));
    UpdateEnabling();
    emit pitchChanged(m_factor);
}

void CPitchCtrlBar::ApplyPitchText() {
    const bool wasApplying = std::exchange(m_applying, true);
    const double semitones = ReadEditNumber(m_edit->text());
    if (!(semitones >= -kMaxShift && semitones <= kMaxShift)) {
        UserMessage message;
        message.kind = MessageKind::Information;
        message.text = kPitchOutOfRangeMessage;
        m_messages.Show(message);
        m_edit->setFocus(Qt::OtherFocusReason);
        m_edit->selectAll();
    } else {
        m_factor = static_cast<float>(std::exp2(semitones / 12.0));
        m_noteLabel->setText(PitchNoteName(m_factor));
        SetSliderPosition(
            static_cast<int>(std::trunc(semitones * kStepsPerSemitone + kSliderCentre)));
        UpdateEnabling();
        emit pitchChanged(m_factor);
    }
    m_applying = wasApplying;
}

void CPitchCtrlBar::OnPitchUp() {
    const auto& factors = SemitoneFactors();
    std::size_t below = 11;
    for (std::size_t i = 0; i < 12; ++i) {
        if (factors[i] <= m_factor && m_factor < factors[i + 1]) {
            below = i;
            break;
        }
    }
    m_factor = factors[below + 1];
    SetSliderPosition(static_cast<int>(below + 1) * kStepsPerSemitone);
    OnPitchSliderMoved();
}

void CPitchCtrlBar::OnPitchDown() {
    const auto& factors = SemitoneFactors();
    for (std::size_t i = 12; i >= 1; --i) {
        if (factors[i - 1] < m_factor && m_factor <= factors[i]) {
            m_factor = factors[i - 1];
            SetSliderPosition(static_cast<int>(i - 1) * kStepsPerSemitone);
            OnPitchSliderMoved();
            return;
        }
    }
    // At -6 already: the button is disabled and nothing happens.
}

void CPitchCtrlBar::OnPitchReset() {
    SetSliderPosition(kSliderCentre);
    OnPitchSliderMoved();
}

bool CPitchCtrlBar::CanPitchUp() const {
    return m_factor < SemitoneFactors().back();
}

bool CPitchCtrlBar::CanPitchDown() const {
    return m_factor > SemitoneFactors().front();
}

bool CPitchCtrlBar::CanReset() const {
    return m_factor != 1.0f;
}

void CPitchCtrlBar::UpdateEnabling() {
    m_upButton->setEnabled(CanPitchUp());
    m_downButton->setEnabled(CanPitchDown());
    m_resetButton->setEnabled(CanReset());
}

} // namespace lorvanta
