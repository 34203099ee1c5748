#include "ui/grid/LorvantaView.h"

#include "app/AppSettings.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

// The header's fonts: "Times" at a character height in pixels.
QFont TimesFont(int pixelHeight) {
    QFont font(QStringLiteral("Times"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

constexpr int kTitleFontHeight = 24;
constexpr int kInfoFontHeight = 16;
constexpr int kBeatDisplayFontHeight = 36;
constexpr QPoint kLogoPosition{10, 10};

// A line of text centred in the width, its top at y; returns where it lies,
// widened by 4 pixels to the left as the header's hit rectangles are.
QRect DrawCentredLine(QPainter& painter, const QString& text, int width, int top, int height) {
    painter.drawText(QRect(0, top, width, std::max(0, height - top)),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
    const QFontMetrics metrics(painter.font());
    const int cx = metrics.horizontalAdvance(text);
    const int left = static_cast<int>(std::floor((width - cx) / 2.0)) - 4;
    return QRect(left, top, cx + 4, metrics.height());
}

} // namespace

CLorvantaView::CLorvantaView(CLorvantaDoc& doc, const CSampleBank& bank, MessageSink& sink,
                             const AppSettings& settings, OutputOpener opener, QWidget* parent)
    : QAbstractScrollArea(parent), m_doc(doc), m_sink(sink), m_settings(settings),
      m_renderer(std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink)),
      m_engine(std::make_unique<CPlaybackEngine>(doc, *m_renderer, sink, std::move(opener))),
      m_logo(QStringLiteral(":/icons/logo.png")) {
    m_engine->SetPositionHandler([this](const PlayingPosition&) { OnPlayingPositionChanged(); });
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    QPalette page = viewport()->palette();
    page.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(page);
}

CLorvantaView::~CLorvantaView() {
    // The engine's thread reads the renderer and calls back into this view.
    m_engine.reset();
    m_renderer.reset();
}

void CLorvantaView::OnInitialUpdate() {
    m_undo.Clear();
    OnAudioStop();
    DeleteBolViews();
    m_renderer->InitialUpdate();
    m_engine->OnTaalEdited();
    if (!m_soundSetUp) {
        m_soundSetUp = true;
        m_soundStatus = m_engine->InitDirectSound();
        if (m_soundStatus != 0)
            m_sink.Show(SoundInitFailureMessage(m_soundStatus));
    }
    RecalcLayout(-1);
    emit commandStateChanged();
}

void CLorvantaView::SetTempo(float secondsPerBeat) {
    m_renderer->SetTempo(secondsPerBeat);
}

void CLorvantaView::SetPitch(float factor) {
    m_renderer->SetPitch(factor);
}

void CLorvantaView::OnAudioPlay() {
    m_engine->OnAudioPlay();
    viewport()->update();
    emit commandStateChanged();
}

void CLorvantaView::OnAudioPause() {
    m_engine->OnAudioPause();
    viewport()->update();
    emit commandStateChanged();
}

void CLorvantaView::OnAudioStop() {
    m_engine->OnAudioStop();
    viewport()->update();
    emit commandStateChanged();
}

void CLorvantaView::OnAudioPlayFromSelected() {
    // The first selected bol comes with the grid's selection; none yet.
    m_engine->OnAudioPlayFromSelected(-1);
    viewport()->update();
    emit commandStateChanged();
}

bool CLorvantaView::CanPlay() const {
    return m_engine->CanPlay();
}

bool CLorvantaView::CanPause() const {
    return m_engine->CanPause();
}

bool CLorvantaView::CanStop() const {
    return m_engine->CanStop();
}

bool CLorvantaView::CanPlayFromSelected() const {
    return m_engine->CanPlayFromSelected(m_selectedCount);
}

bool CLorvantaView::IsPlaying() const {
    return m_engine->IsPlaying();
}

bool CLorvantaView::IsPaused() const {
    return m_engine->IsPaused();
}

void CLorvantaView::SelectBol(int /*index*/, bool /*exclusive*/) {
    // Cells and their selection come with the grid's own work.
}

void CLorvantaView::DeleteBolViews() {
    m_selectedCount = 0;
}

void CLorvantaView::CreateBolViews() {
    // The renderer keeps one sound cell per bol by itself.
}

void CLorvantaView::RenderAllBols() {
    m_renderer->RenderAllBols();
    m_engine->OnTaalEdited();
}

void CLorvantaView::RecalcLayout(int /*after*/) {
    viewport()->update();
}

void CLorvantaView::FocusGrid() {
    setFocus(Qt::OtherFocusReason);
}

int CLorvantaView::BeatsPerRow() const {
    return std::max(1, (viewport()->width() - 50) / kPixelsPerBeat);
}

int CLorvantaView::RowLeft() const {
    return (viewport()->width() - kPixelsPerBeat * BeatsPerRow()) / 2;
}

QString CLorvantaView::InfoText() const {
    return QString::fromStdString(
        FormatMessage(kInfoFormat, QString::asprintf("%3.2f", m_doc.Taal().Total()).toStdString(),
                      QString::asprintf("%.2f", m_doc.DefaultTempo()).toStdString()));
}

QString CLorvantaView::BeatDisplayText(QColor* colour) const {
    if (colour)
        *colour = Qt::black;
    if (m_settings.playingBeatDisplay == kDisplayBolName) {
        const CBol2* bol = m_doc.Taal().BolAt(static_cast<int>(m_engine->PlayingBolIndex()));
        return bol ? QString::fromStdString(bol->name).left(4) : QString();
    }
    const int beat = static_cast<int>(m_engine->LastBeatPosition());
    if (colour && beat == 1)
        *colour = QColor(255, 0, 0);
    if (colour && beat == static_cast<int>(m_doc.Taal().Total()) / 2 + 1)
        *colour = QColor(0, 0, 255);
    return QString::number(beat);
}

void CLorvantaView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const int width = viewport()->width();
    const int height = viewport()->height();

    painter.drawPixmap(kLogoPosition, m_logo);

    painter.setPen(Qt::black);
    painter.setFont(TimesFont(kTitleFontHeight));
    m_rcTaalName = DrawCentredLine(painter, QString::fromStdString(m_doc.Taal().Name()), width,
                                   kNameTop, height);

    if (IsPlaying() || IsPaused()) {
        const int right = RowLeft() + kPixelsPerBeat * BeatsPerRow();
        m_rcBeatDisplay = QRect(QPoint(right - kBeatDisplayWidth, kNameTop),
                                QPoint(right - 1, kBeatDisplayBottom - 1));
        QColor colour;
        const QString text = BeatDisplayText(&colour);
        painter.setFont(TimesFont(kBeatDisplayFontHeight));
        painter.setPen(colour);
        // Digits of this size reach a little below the box; they are not cut.
        painter.drawText(m_rcBeatDisplay,
                         Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                         text);
        painter.setPen(Qt::black);
    }

    painter.setFont(TimesFont(kInfoFontHeight));
    m_rcTaalInfo = DrawCentredLine(painter, InfoText(), width, kInfoTop, height);
}

void CLorvantaView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (IsPlaying())
            OnAudioStop();
        else
            OnAudioPlay();
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool CLorvantaView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (m_rcTaalName.contains(help->pos()))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kNameTip), viewport());
        else if (m_rcTaalInfo.contains(help->pos()))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kInfoTip), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void CLorvantaView::OnPlayingPositionChanged() {
    // Playback thread: one repaint request at a time, nothing else.
    if (!m_repaintPending.exchange(true, std::memory_order_acq_rel))
        QMetaObject::invokeMethod(this, &CLorvantaView::OnRepaintPosted, Qt::QueuedConnection);
}

void CLorvantaView::OnRepaintPosted() {
    m_repaintPending.store(false, std::memory_order_release);
    viewport()->update();
}

} // namespace lorvanta
