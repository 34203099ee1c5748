#include "ui/bars/TempoCtrlBar.h"

#include "model/Messages.h"
#include "model/PlaybackLimits.h"
#include "model/SoundTables.h"
#include "ui/bars/BarEdit.h"
#include "ui/bars/EditNumber.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>
#include <utility>

namespace lorvanta {
namespace {

constexpr float kInitialSecondsPerBeat = 0.6f;

// The slider step at or below a tempo.
int SliderPositionFor(double bpm) {
    const double position = std::trunc(std::log10(bpm) * 100.0);
    if (!(position >= CTempoCtrlBar::kSliderMin))
        return CTempoCtrlBar::kSliderMin;
    if (position > CTempoCtrlBar::kSliderMax)
        return CTempoCtrlBar::kSliderMax;
    return static_cast<int>(position);
}

double TempoAt(int position) {
    return std::pow(10.0, position / 100.0);
}

float SecondsPerBeatOf(double bpm) {
    return static_cast<float>(60.0 / bpm);
}

QString TempoText(double bpm) {
    return FormatFixed("%4.4f", bpm);
}

} // namespace

CTempoCtrlBar::CTempoCtrlBar(MessageSink& messages, QWidget* parent)
    : QToolBar(tr("Tempo Control"), parent), m_messages(messages),
      m_defaultTempo(static_cast<double>(lorvanta::DefaultTempo())) {
    setObjectName(QStringLiteral("TempoCtrlBar"));

    m_tempoLabel = new QLabel(tr("Tempo"), this);
    m_tempoEdit = new CBarEdit(this);
    m_tempoEdit->setObjectName(QStringLiteral("tempoEdit"));
    m_tempoEdit->setAccessibleName(QStringLiteral("Tempo"));
    m_tempoEdit->setAccessibleDescription(QStringLiteral("Beats per minute; Enter sets it"));
    m_bpmLabel = new QLabel(tr("bpm"), this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("tempoSlider"));
    m_slider->setAccessibleName(QStringLiteral("Tempo slider"));
    m_slider->setRange(kSliderMin, kSliderMax);
    m_resetButton = new QPushButton(tr("&Reset"), this);
    m_resetButton->setObjectName(QStringLiteral("tempoResetButton"));
    m_quickChangeButton = new QPushButton(tr("&Quick Change"), this);
    m_quickChangeButton->setObjectName(QStringLiteral("quickChangeButton"));
    m_tapButton = new QPushButton(tr("&Tap"), this);
    m_tapButton->setObjectName(QStringLiteral("tapButton"));
    m_tapButton->setToolTip(tr("Tap the beat: the last four taps set the tempo"));
    m_quickEdit = new CBarEdit(this);
    m_quickEdit->setObjectName(QStringLiteral("quickTempoEdit"));
    m_quickEdit->setAccessibleName(QStringLiteral("Quick change tempo"));
    m_quickEdit->setAccessibleDescription(
        QStringLiteral("The tempo Quick Change (Ctrl+Q) switches to and back from"));
    m_quickBpmLabel = new QLabel(tr("bpm"), this);

    const int editWidth =
        m_tempoEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000.00000"));
    m_tempoEdit->setFixedWidth(editWidth);
    m_quickEdit->setFixedWidth(editWidth);
    m_slider->setMinimumWidth(200);

    addWidget(m_tempoLabel);
    addWidget(m_tempoEdit);
    addWidget(m_bpmLabel);
    addWidget(m_slider);
    addWidget(m_resetButton);
    addWidget(m_tapButton);
    addWidget(m_quickChangeButton);
    addWidget(m_quickEdit);
    addWidget(m_quickBpmLabel);

    m_quickChangeAction = new QAction(tr("&Quick Change"), this);
    m_quickChangeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quickChangeAction->setShortcutContext(Qt::WindowShortcut);

    for (CBarEdit* edit : {m_tempoEdit, m_quickEdit}) {
        const auto apply = [this, edit] {
            if (m_applying)
                return;
            if (edit == m_tempoEdit)
                ApplyTempoText();
            else
                ApplyQuickTempoText();
        };
        connect(edit, &CBarEdit::enterPressed, this, apply);
        connect(edit, &CBarEdit::left, this, apply);
    }
    // The thumb being dragged shows the tempo; a finished move (release, keys,
    // clicks beside the thumb, the wheel) applies it.
    connect(m_slider, &QSlider::sliderMoved, this, [this] { OnTempoSliderScroll(); });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { OnTempoSliderChange(); });
    connect(m_slider, &QSlider::valueChanged, this, [this] {
        if (!m_slider->isSliderDown())
            OnTempoSliderChange();
    });
    connect(m_resetButton, &QPushButton::clicked, this, [this] { OnResetTempo(); });
    connect(m_quickChangeButton, &QPushButton::clicked, this, [this] { OnQuickChange(); });
    // Pressed, not released: the tap lands when the finger does.
    connect(m_tapButton, &QPushButton::pressed, this, [this] { OnTap(TapTempo::Clock::now()); });
    connect(m_quickChangeAction, &QAction::triggered, this, [this] {
        if (CanQuickChange())
            OnQuickChange();
    });

    InitTempoBar();
}

void CTempoCtrlBar::InitTempoBar() {
    SetSliderPosition(200);
    m_secondsPerBeat = kInitialSecondsPerBeat;
    m_quickSecondsPerBeat = kInitialSecondsPerBeat;
    m_tempoEdit->setText(TempoText(static_cast<double>(lorvanta::DefaultTempo())));
    m_quickEdit->setText(TempoText(static_cast<double>(60.0f / m_quickSecondsPerBeat)));
    UpdateEnabling();
}

void CTempoCtrlBar::SetSliderPosition(int position) {
    // Moving the thumb from here raises none of the slider's own events.
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(position);
}

void CTempoCtrlBar::SetTempoBpm(double bpm) {
    // Every caller has checked the range; a tempo outside it would never end
    // a beat or divide by zero.
    if (!(bpm >= kMinTempo && bpm <= kMaxTempo))
        return;
    m_secondsPerBeat = SecondsPerBeatOf(bpm);
    emit tempoChanged(m_secondsPerBeat);
    SetSliderPosition(SliderPositionFor(bpm));
    UpdateEnabling();
}

void CTempoCtrlBar::RefuseTempo(CBarEdit* edit) {
    UserMessage message;
    message.kind = MessageKind::Information;
    message.text =
        FormatMessage(kTempoOutOfRangeMessage, FormatFixed("%.1f", kMinTempo).toStdString(),
                      FormatFixed("%.1f", kMaxTempo).toStdString());
    m_messages.Show(message);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void CTempoCtrlBar::ApplyTempoText() {
    const bool wasApplying = std::exchange(m_applying, true);
    const double bpm = ReadEditNumber(m_tempoEdit->text());
    if (bpm >= kMinTempo && bpm <= kMaxTempo)
        SetTempoBpm(bpm);
    else
        RefuseTempo(m_tempoEdit);
    m_applying = wasApplying;
}

void CTempoCtrlBar::ApplyQuickTempoText() {
    const bool wasApplying = std::exchange(m_applying, true);
    const double bpm = ReadEditNumber(m_quickEdit->text());
    if (bpm >= kMinTempo && bpm <= kMaxTempo) {
        m_quickSecondsPerBeat = SecondsPerBeatOf(bpm);
        UpdateEnabling();
    } else {
        RefuseTempo(m_quickEdit);
    }
    m_applying = wasApplying;
}

QLineEdit* CTempoCtrlBar::TempoEdit() const {
    return m_tempoEdit;
}

QLineEdit* CTempoCtrlBar::QuickEdit() const {
    return m_quickEdit;
}

void CTempoCtrlBar::OnTempoSliderScroll() {
    // While the thumb is dragged its position leads the slider's value.
    const double bpm = TempoAt(m_slider->sliderPosition());
    m_secondsPerBeat = SecondsPerBeatOf(bpm);
    m_tempoEdit->setText(TempoText(bpm));
    UpdateEnabling();
}

void CTempoCtrlBar::OnTempoSliderChange() {
    OnTempoSliderScroll();
    emit tempoChanged(m_secondsPerBeat);
}

void CTempoCtrlBar::OnQuickChange() {
    m_tempoEdit->setText(TempoText(static_cast<double>(60.0f / m_quickSecondsPerBeat)));
    ApplyTempoText();
    m_tempoEdit->setFocus(Qt::OtherFocusReason);
    m_tempoEdit->selectAll();
}

void CTempoCtrlBar::OnResetTempo() {
    m_tempoEdit->setText(FormatFixed("%.4f", m_defaultTempo));
    SetTempoBpm(m_defaultTempo);
}

void CTempoCtrlBar::OnTap(TapTempo::Clock::time_point at) {
    if (const auto bpm = m_taps.Tap(at)) {
        m_tempoEdit->setText(TempoText(*bpm));
        SetTempoBpm(*bpm);
    }
}

void CTempoCtrlBar::ShowTempo(float secondsPerBeat) {
    const double bpm = 60.0 / static_cast<double>(secondsPerBeat);
    if (!(bpm >= kMinTempo && bpm <= kMaxTempo))
        return;
    m_secondsPerBeat = secondsPerBeat;
    m_tempoEdit->setText(TempoText(bpm));
    SetSliderPosition(SliderPositionFor(bpm));
    UpdateEnabling();
}

void CTempoCtrlBar::ApplyDocumentTempo(double bpm) {
    m_tempoEdit->setText(TempoText(bpm));
    SetTempoBpm(bpm);
    SetDefaultTempo(bpm);
}

void CTempoCtrlBar::SetDefaultTempo(double bpm) {
    m_defaultTempo = bpm;
    UpdateEnabling();
}

float CTempoCtrlBar::AcceptedDocumentTempo(float stored) {
    const double bpm = static_cast<double>(stored);
    return bpm >= kMinTempo && bpm <= kMaxTempo ? stored : lorvanta::DefaultTempo();
}

bool CTempoCtrlBar::CanQuickChange() const {
    return m_secondsPerBeat != m_quickSecondsPerBeat;
}

bool CTempoCtrlBar::CanReset() const {
    return m_secondsPerBeat != SecondsPerBeatOf(m_defaultTempo);
}

void CTempoCtrlBar::UpdateEnabling() {
    m_quickChangeButton->setEnabled(CanQuickChange());
    m_quickChangeAction->setEnabled(CanQuickChange());
    m_resetButton->setEnabled(CanReset());
}

} // namespace lorvanta
