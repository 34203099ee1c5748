#include "ui/grid/LorvantaView.h"

#include "model/Conversions.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "ui/Services.h"
#include "ui/grid/BolAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

constexpr int kBeatNumberFontHeight = 12;
constexpr int kTitleFontHeight = 24;
constexpr int kInfoFontHeight = 16;
constexpr int kBeatDisplayFontHeight = 36;
constexpr int kMarkFontHeight = 15;
// The zoom steps of Zoom In and Zoom Out.
constexpr double kZoomSteps[] = {0.5, 0.67, 0.8, 1.0, 1.25, 1.5, 2.0, 2.5, 3.0};
// A row shown whole: its ruler (numbers and ticks) above its cells, and a
// little room below them.
constexpr int kRowAboveCells = 45;
// The same with the vibhag marks over the numbers.
constexpr int kMarkedRowAboveCells = kRowAboveCells + grid::kMarkTop - 23;
constexpr int kRowBelowCells = 5;

// The two faces the page names, mapped once to installed faces of the same
// shape: metric-compatible ones first, so that the page's widths stay put.
void MapPageFaces() {
    static const bool mapped = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Times"),
                                   {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"),
                                    QStringLiteral("Nimbus Roman"),
                                    QStringLiteral("DejaVu Serif")});
        return true;
    }();
    (void)mapped;
}

QFont PageFont(const char* face, QFont::StyleHint hint, int pixelHeight) {
    QFont font(QString::fromLatin1(face));
    font.setStyleHint(hint);
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QRect ToQRect(const PageRect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

PageRect ToPageRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

// A header line centred in the client width with its top at y; returns its
// rectangle widened by 4 pixels to the left, as the header's hit rectangles
// are.
// Where a header line of width cx starts: centred in the client width, but
// clear of the logo on a page too narrow for both.
int HeaderTextLeft(int width, int cx) {
    constexpr int kClearOfLogo = 10 + 111 + 8;
    const int centred = static_cast<int>(std::floor((width - cx) / 2.0));
    return centred >= kClearOfLogo ? centred : std::min(kClearOfLogo, std::max(0, width - cx));
}

QRect CentredLine(QPainter& painter, const QString& text, int width, int top) {
    const QFontMetrics metrics(painter.font());
    const int cx = metrics.horizontalAdvance(text);
    const int left = HeaderTextLeft(width, cx);
    painter.drawText(QRect(left, top, cx, metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
    return QRect(left - 4, top, cx + 4, metrics.height());
}

} // namespace

CLorvantaView::CLorvantaView(CLorvantaSession& session, MessageSink& sink,
                             const AppSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent), m_session(session), m_doc(session.Document()), m_sink(sink),
      m_settings(settings) {
    InstallBolAccessibility();
    setAccessibleName(QStringLiteral("Bol grid"));
    setAccessibleDescription(QStringLiteral(
        "The Taal's bols under a beat ruler; arrows move, Shift extends, Space plays"));
    m_editorSubscription = m_session.Editor().Subscribe(*this);
    m_sessionSubscription = m_session.Subscribe(*this);
    m_layout.CreateBolViews(m_doc.Taal().Count());
    m_positionTimer = new QTimer(this);
    m_positionTimer->setTimerType(Qt::PreciseTimer);
    m_positionTimer->setInterval(kPositionInterval);
    connect(m_positionTimer, &QTimer::timeout, this, &CLorvantaView::OnPositionTimer);
    // Wheel, scroll bar and page keys: the user's own scrolling.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_sinceUserScroll.start(); });

    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Right clicks are handled on release, as the menus of the page are.
    setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
    m_colours = PageColoursFor(palette());
    CreateDrawingTools();
}

CLorvantaView::~CLorvantaView() {
    m_positionTimer->stop();
}

void CLorvantaView::CreateDrawingTools() {
    MapPageFaces();
    m_fontBeatNumber = PageFont("MS Sans Serif", QFont::SansSerif, kBeatNumberFontHeight);
    m_fontTitle = PageFont("Times", QFont::Serif, kTitleFontHeight);
    m_fontInfo = PageFont("Times", QFont::Serif, kInfoFontHeight);
    m_fontBeatDisplay = PageFont("Times", QFont::Serif, kBeatDisplayFontHeight);
    m_fontMark = PageFont("MS Sans Serif", QFont::SansSerif, kMarkFontHeight);
    m_fontMark.setWeight(QFont::Bold);
    m_logo = QPixmap(QStringLiteral(":/icons/logo.png"));
}

void CLorvantaView::SetContextMenus(QMenu* small, QMenu* edit) {
    m_smallMenu = small;
    m_editMenu = edit;
}

// --- Playback -----------------------------------------------------------------

void CLorvantaView::OnPlaybackChanged() {
    SyncPlayingPosition();
}

void CLorvantaView::SyncPlayingPosition() {
    // Start, pause or stop: the position display is drawn anew from the
    // engine's position, and followed only while playing.
    m_positionsSeen = m_session.PositionUpdates();
    m_beat = m_session.PlayingBeat();
    m_playingBol = m_session.PlayingBol();
    m_countInShown = m_session.CountInLeft();
    if (IsPlaying())
        m_positionTimer->start();
    else
        m_positionTimer->stop();
    viewport()->update();
    emit soundingChanged(m_beat, SoundingBol());
}

int CLorvantaView::SoundingBol() const {
    return IsPlaying() || IsPaused() ? m_playingBol : -1;
}

void CLorvantaView::OnPositionTimer() {
    const std::uint64_t updates = m_session.PositionUpdates();
    if (updates == m_positionsSeen || !IsPlaying())
        return;
    m_positionsSeen = updates;
    ++m_positionsShown;
    const float beat = m_session.PlayingBeat();
    const int bol = m_session.PlayingBol();
    // The count-in counts down in the beat display.
    if (const int countIn = m_session.CountInLeft(); countIn != m_countInShown) {
        m_countInShown = countIn;
        viewport()->update(BeatDisplayOnScreen().adjusted(-2, -2, 2, 12));
        emit soundingChanged(m_beat, SoundingBol());
    }
    ShowPlayingPosition(beat, bol);
    emit playingPositionShown(beat, bol);
}

void CLorvantaView::ShowPlayingPosition(float beat, int bol) {
    const float previous = m_beat;
    if (beat == previous)
        return;
    FollowPlayingRow(previous, beat);
    for (const PageRect& strip : m_layout.ProgressRepaint(previous, beat))
        viewport()->update(ToClient(strip));
    // The lit cell moves with the sound: two cells repainted per bol.
    if (bol != m_playingBol) {
        InvalidateCell(m_playingBol);
        InvalidateCell(bol);
    }

    bool displayChanged = false;
    if (m_settings.playingBeatDisplay == kDisplayBolName) {
        displayChanged = bol != m_playingBol;
    } else {
        displayChanged = TruncateToInt(previous) != TruncateToInt(beat);
    }
    const bool bolChanged = bol != m_playingBol;
    m_playingBol = bol;
    m_beat = beat;
    if (displayChanged) {
        // The text is drawn from the box's top and may reach a little below it.
        QRect box = m_rcBeatDisplay;
        box.setHeight(std::max(box.height(), QFontMetrics(m_fontBeatDisplay).height()));
        viewport()->update(ToClient(box));
        if (BeatBandShown())
            viewport()->update(BeatDisplayOnScreen().adjusted(-2, -2, 2, 2));
    }
    if (displayChanged || bolChanged)
        emit soundingChanged(beat, SoundingBol());
    // A screen reader follows the sounding bol as it moves.
    if (bolChanged && QAccessible::isActive()) {
        if (QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this)) {
            if (QAccessibleInterface* item = grid->child(bol)) {
                QAccessible::State changed;
                changed.active = true;
                QAccessibleStateChangeEvent event(item, changed);
                QAccessible::updateAccessibility(&event);
            }
        }
    }
}

void CLorvantaView::ScrollIntoView(int top, int bottom) {
    QScrollBar* bar = verticalScrollBar();
    // While the position shows, the pinned beat display covers the pane's top.
    const int band =
        IsPlaying() || IsPaused() ? static_cast<int>(std::ceil(kBeatBandHeight * m_zoom)) : 0;
    const int height = viewport()->height() - band;
    const int clientTop = static_cast<int>(std::floor(top * m_zoom)) - band;
    const int clientBottom = static_cast<int>(std::ceil(bottom * m_zoom)) - band;
    if (clientTop < bar->value())
        bar->setValue(clientTop);
    else if (clientBottom > bar->value() + height)
        bar->setValue(std::min(clientTop, clientBottom - height));
}

int CLorvantaView::RowAboveCells() const {
    return m_layout.Marks().empty() ? kRowAboveCells : kMarkedRowAboveCells;
}

void CLorvantaView::FollowPlayingRow(float previous, float beat) {
    const int rows = m_layout.RulerRowCount();
    if (rows < 1)
        return;
    const auto rowOf = [&](float p) { return std::clamp(m_layout.RowOfPosition(p), 0, rows - 1); };
    const int row = rowOf(beat);
    if (row == rowOf(previous))
        return;
    if (m_sinceUserScroll.isValid() &&
        m_sinceUserScroll.elapsed() < static_cast<qint64>(kUserScrollHold.count()))
        return;
    const int cellsTop = grid::kFirstCellBottom - grid::kCellHeight + grid::kRowPitch * row;
    // Back on the first row, the page's top comes back with the header.
    ScrollIntoView(row == 0 ? 0 : cellsTop - RowAboveCells(),
                   cellsTop + grid::kCellHeight + kRowBelowCells);
}

void CLorvantaView::ShowCaret(int index) {
    const CBolView* cell = m_layout.GetBolView(index < 0 ? Editor().Caret() : index);
    if (!cell)
        return;
    // The user moved the page: the playing row waits.
    const int before = verticalScrollBar()->value();
    ScrollIntoView(cell->frame.top - RowAboveCells(), cell->frame.bottom + kRowBelowCells);
    if (verticalScrollBar()->value() != before)
        m_sinceUserScroll.start();
}

// --- What the editor announces ---------------------------------------------------

void CLorvantaView::OnBolsInserted(int first, int count) {
    if (m_longOperations > 0) {
        m_cellsChanged = true;
    } else {
        for (int k = 0; k < count; ++k)
            m_layout.InsertBolView(first - 1);
    }
    RecalcLayout(first - 1);
}

void CLorvantaView::OnBolsRemoved(int first, int count) {
    if (m_longOperations > 0) {
        m_cellsChanged = true;
    } else {
        for (int k = 0; k < count; ++k)
            m_layout.RemoveBolView(first);
    }
    RecalcLayout(first - 1);
}

void CLorvantaView::OnBolsChanged(int first, int) {
    // The length line shows the Taal's new total.
    viewport()->update(ToClient(m_rcTaalInfo));
    RecalcLayout(first - 1);
}

void CLorvantaView::OnTaalPropertiesChanged() {
    InvalidateHeader(kPropertiesHeight);
    // The vibhags are among the properties: their marks and rows follow.
    const float length = m_doc.Taal().Total();
    if (VibhagsToShow(m_doc.Params(), length).vibhags != m_layout.ShownVibhags())
        RecalcLayout(-1);
}

void CLorvantaView::ApplyRowsByVibhag() {
    RecalcLayout(-1);
}

void CLorvantaView::InvalidateHeader(int height) {
    viewport()->update(ToClient(QRect(0, 0, PageWidth(), height)));
    if (BeatBandShown())
        viewport()->update(BeatDisplayOnScreen().adjusted(-2, -2, 2, 2));
}

void CLorvantaView::OnTaalReplaced(TaalReplacement why) {
    if (why == TaalReplacement::Document)
        EndNameEdit(false); // the text typed belongs to the Taal that is gone
    m_layout.DeleteBolViews();
    m_layout.CreateBolViews(m_doc.Taal().Count());
    m_cellsChanged = false;
    RecalcLayout(-1);
}

void CLorvantaView::OnSelectionChanged(const SelectionChange& change) {
    if (change.exclusive)
        viewport()->update();
    else
        InvalidateCell(change.toggled);
}

void CLorvantaView::OnLongOperationStarted() {
    if (m_longOperations++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CLorvantaView::OnLongOperationEnded() {
    if (--m_longOperations > 0)
        return;
    if (std::exchange(m_cellsChanged, false)) {
        m_layout.DeleteBolViews();
        m_layout.CreateBolViews(m_doc.Taal().Count());
        m_layoutAfter = -1;
    }
    if (m_layoutAfter != kNoLayout)
        RecalcLayout(std::exchange(m_layoutAfter, kNoLayout));
    QApplication::restoreOverrideCursor();
}

void CLorvantaView::RecalcLayout(int after) {
    if (m_longOperations > 0) {
        m_layoutAfter = std::min(m_layoutAfter, std::max(after, -1));
        return;
    }
    // The vibhags are read again each time: an edit of the bols may make
    // them stop (or start again) adding up to the Taal's length.
    m_layout.SetVibhags(VibhagsToShow(m_doc.Params(), m_doc.Taal().Total()).vibhags,
                        m_settings.rowsByVibhag);
    if (m_fitZoom) {
        // The rows as they lie at 100% tell how far the cells may widen.
        m_layout.RecalcLayout(viewport()->width(), m_doc.Taal(), -1);
        const int rowBeats = m_layout.RowsByVibhag() || m_layout.RulerRowCount() > 1
                                 ? (m_layout.RowRight() - m_layout.RowLeft()) / grid::kPixelsPerBeat
                                 : std::max(1, static_cast<int>(std::ceil(m_doc.Taal().Total())));
        // As if the scroll bar were there, so that it coming or going does
        // not take a beat off the rows.
        QSize pane = viewport()->size();
        if (!verticalScrollBar()->isVisible())
            pane.rwidth() -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        // A whole vibhag to a row even when the pane is short.
        int widestVibhag = 0;
        for (const Vibhag& vibhag : m_layout.ShownVibhags())
            widestVibhag = std::max(widestVibhag, vibhag.beats);
        const double zoom = FitZoomFor(pane, rowBeats, widestVibhag);
        if (zoom != m_zoom) {
            m_zoom = zoom;
            emit zoomChanged(m_zoom);
        }
        after = -1;
    }
    m_layout.RecalcLayout(PageWidth(), m_doc.Taal(), after);
    UpdateScrollSizes();
    viewport()->update();
}

void CLorvantaView::UpdateScrollSizes() {
    QScrollBar* bar = verticalScrollBar();
    const int page = viewport()->height();
    bar->setPageStep(std::max(1, page));
    bar->setSingleStep(std::max(1, static_cast<int>(grid::kLineStepY * m_zoom)));
    const int height = static_cast<int>(std::ceil(m_layout.PageHeight() * m_zoom));
    bar->setRange(0, std::max(0, height - page));
}

int CLorvantaView::PageWidth() const {
    return static_cast<int>(viewport()->width() / m_zoom);
}

double CLorvantaView::FitZoomFor(QSize pane, int rowBeats, int wholeBeats) {
    // Rows as wide as the pane allows (a pixel to spare, so that the rows
    // stay whole), and at most as high as shows the first row.
    const auto fits = [&pane](int beats) {
        return pane.width() /
               (grid::kPixelsPerBeat * static_cast<double>(std::max(1, beats)) + 51.0);
    };
    const double high = pane.height() / static_cast<double>(grid::kFirstCellBottom + 10);
    double zoom = std::clamp(fits(rowBeats), 1.0, kMaxFitZoom);
    if (high < zoom)
        zoom = high;
    // Shrunk for a short pane, still as wide as a whole vibhag.
    if (wholeBeats > 0 && zoom < 1.0)
        zoom = std::min(zoom, fits(wholeBeats));
    zoom = std::max(kMinZoom, zoom);
    // Two decimals: small changes of the pane do not shuffle the page.
    return std::floor(zoom * 100.0) / 100.0;
}

void CLorvantaView::SetZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (!m_fitZoom && zoom == m_zoom)
        return;
    m_fitZoom = false;
    const double centre = (verticalScrollBar()->value() + viewport()->height() / 2.0) / m_zoom;
    m_zoom = zoom;
    if (m_nameEdit)
        EndNameEdit();
    RecalcLayout(-1);
    verticalScrollBar()->setValue(static_cast<int>(centre * m_zoom - viewport()->height() / 2.0));
    emit zoomChanged(m_zoom);
}

void CLorvantaView::SetFitZoom() {
    m_fitZoom = true;
    if (m_nameEdit)
        EndNameEdit();
    RecalcLayout(-1);
    emit zoomChanged(m_zoom);
}

void CLorvantaView::ZoomIn() {
    for (double step : kZoomSteps) {
        if (step > m_zoom + 1e-3) {
            SetZoom(step);
            return;
        }
    }
}

void CLorvantaView::ZoomOut() {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it) {
        if (*it < m_zoom - 1e-3) {
            SetZoom(*it);
            return;
        }
    }
}

void CLorvantaView::InvalidateCell(int index) {
    if (const CBolView* cell = m_layout.GetBolView(index))
        viewport()->update(ToClient(cell->frame.Grown(1)));
}

// --- Geometry -----------------------------------------------------------------

QPoint CLorvantaView::ScrollOffset() const {
    return QPoint(0, verticalScrollBar()->value());
}

QRect CLorvantaView::ToClient(const PageRect& page) const {
    return ToClient(ToQRect(page));
}

QRect CLorvantaView::ToClient(const QRect& page) const {
    if (m_zoom == 1.0)
        return page.translated(-ScrollOffset());
    // Outward to whole pixels, so that a repaint covers all of it.
    const QPoint scroll = ScrollOffset();
    const int left = static_cast<int>(std::floor(page.left() * m_zoom)) - scroll.x();
    const int top = static_cast<int>(std::floor(page.top() * m_zoom)) - scroll.y();
    const int right =
        static_cast<int>(std::ceil((page.left() + page.width()) * m_zoom)) - scroll.x();
    const int bottom =
        static_cast<int>(std::ceil((page.top() + page.height()) * m_zoom)) - scroll.y();
    return QRect(left, top, right - left, bottom - top);
}

QPoint CLorvantaView::ToPage(QPoint client) const {
    const QPoint scrolled = client + ScrollOffset();
    if (m_zoom == 1.0)
        return scrolled;
    return QPoint(static_cast<int>(std::floor(scrolled.x() / m_zoom)),
                  static_cast<int>(std::floor(scrolled.y() / m_zoom)));
}

int CLorvantaView::HitTest(QPoint client) const {
    const QPoint page = ToPage(client);
    return m_layout.HitTest(page.x(), page.y());
}

bool CLorvantaView::BeatBandShown() const {
    // Once the header's beat display has begun to scroll out of sight.
    return (IsPlaying() || IsPaused()) && verticalScrollBar()->value() > kNameTop * m_zoom;
}

QRect CLorvantaView::BeatDisplayOnScreen() const {
    if (!(IsPlaying() || IsPaused()))
        return {};
    if (!BeatBandShown())
        return ToClient(QRect(m_layout.RowRight() - kBeatDisplayWidth, kNameTop, kBeatDisplayWidth,
                              kBeatDisplayBottom - kNameTop));
    const QRect box(m_layout.RowRight() - kBeatDisplayWidth, 4, kBeatDisplayWidth,
                    kBeatDisplayBottom - kNameTop);
    return QRect(static_cast<int>(box.left() * m_zoom), static_cast<int>(box.top() * m_zoom),
                 static_cast<int>(std::ceil(box.width() * m_zoom)),
                 static_cast<int>(std::ceil(box.height() * m_zoom)));
}

QString CLorvantaView::InfoText() const {
    return QString::fromStdString(
        FormatMessage(kInfoFormat, QString::asprintf("%3.2f", m_doc.Taal().Total()).toStdString(),
                      QString::asprintf("%.2f", m_doc.DefaultTempo()).toStdString()));
}

QString CLorvantaView::BeatDisplayText(QColor* colour) const {
    if (colour)
        *colour = m_colours.ink;
    if (m_countInShown > 0)
        return QStringLiteral("in %1").arg(m_countInShown);
    if (m_settings.playingBeatDisplay == kDisplayBolName) {
        const CBol2* bol = m_doc.Taal().BolAt(m_playingBol);
        return bol ? QString::fromStdString(ShortBolName(bol->name)) : QString();
    }
    const int beat = TruncateToInt(m_beat);
    if (colour) {
        switch (BeatNumberColour(beat, m_doc.Taal().Total())) {
        case BeatColour::Red:
            *colour = m_colours.sam;
            break;
        case BeatColour::Blue:
            *colour = m_colours.khali;
            break;
        case BeatColour::Black:
            break;
        }
    }
    return QString::fromStdString(lorvanta::BeatDisplayText(beat, m_layout.MarkOnBeat(beat)));
}

// --- Painting -------------------------------------------------------------------

void CLorvantaView::paintEvent(QPaintEvent* event) {
    QElapsedTimer timer;
    timer.start();
    QPainter painter(viewport());
    const QPoint scroll = ScrollOffset();
    painter.translate(-scroll);
    painter.scale(m_zoom, m_zoom);
    QRect exposed = event->rect().translated(scroll);
    if (m_zoom != 1.0) {
        const int left = static_cast<int>(std::floor(exposed.left() / m_zoom)) - 1;
        const int top = static_cast<int>(std::floor(exposed.top() / m_zoom)) - 1;
        const int right = static_cast<int>(std::ceil((exposed.right() + 1) / m_zoom)) + 1;
        const int bottom = static_cast<int>(std::ceil((exposed.bottom() + 1) / m_zoom)) + 1;
        exposed = QRect(left, top, right - left, bottom - top);
    }
    PaintPage(painter, ToPageRect(exposed));
    if (BeatBandShown()) {
        painter.resetTransform();
        painter.scale(m_zoom, m_zoom);
        PaintBeatBand(painter);
    }
    ++m_paintCount;
    m_paintTime += std::chrono::nanoseconds(timer.nsecsElapsed());
}

void CLorvantaView::PaintBeatBand(QPainter& painter) {
    // In page pixels from the pane's top: a band across the pane with the
    // Taal's name on the left and the beat display where the header has it.
    const int width = PageWidth() + 1;
    painter.fillRect(QRect(0, 0, width, kBeatBandHeight), m_colours.banner);
    painter.setPen(QPen(m_colours.ink, 1));
    painter.drawLine(0, kBeatBandHeight - 1, width, kBeatBandHeight - 1);
    painter.setFont(m_fontInfo);
    painter.drawText(
        QRect(10, 0, std::max(0, m_layout.RowRight() - kBeatDisplayWidth - 10), kBeatBandHeight),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        QString::fromStdString(m_doc.Taal().Name()));
    QColor colour;
    const QString text = BeatDisplayText(&colour);
    painter.setFont(m_fontBeatDisplay);
    painter.setPen(colour);
    painter.drawText(
        QRect(m_layout.RowRight() - kBeatDisplayWidth, 0, kBeatDisplayWidth, kBeatBandHeight),
        Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void CLorvantaView::PaintPage(QPainter& painter, const PageRect& exposed) {
    const int width = PageWidth();
    painter.setPen(QPen(m_colours.ink, 1));
    if (exposed.Intersects(ToPageRect(QRect(kLogoPosition, m_logo.size()))))
        painter.drawPixmap(kLogoPosition, m_logo);

    const bool showPosition = IsPlaying() || IsPaused();
    if (showPosition)
        m_rcBeatDisplay = QRect(m_layout.RowRight() - kBeatDisplayWidth, kNameTop,
                                kBeatDisplayWidth, kBeatDisplayBottom - kNameTop);
    // The header's texts and their rectangles only when their band is
    // exposed: whatever changes them (a new name, length or tempo, a resize)
    // repaints the band.
    if (exposed.top < kHeaderBottom) {
        painter.setFont(m_fontTitle);
        m_rcTaalName =
            CentredLine(painter, QString::fromStdString(m_doc.Taal().Name()), width, kNameTop);
        if (showPosition) {
            QColor colour;
            const QString text = BeatDisplayText(&colour);
            painter.setFont(m_fontBeatDisplay);
            painter.setPen(colour);
            // Digits of this size reach a little below the box; they are not cut.
            painter.drawText(m_rcBeatDisplay,
                             Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                             text);
            painter.setPen(m_colours.ink);
        }
        painter.setFont(m_fontInfo);
        m_rcTaalInfo = CentredLine(painter, InfoText(), width, kInfoTop);
    }

    PaintRuler(painter, exposed, showPosition);
    PaintCells(painter, exposed);
}

void CLorvantaView::PaintRuler(QPainter& painter, const PageRect& exposed, bool showProgress) {
    using namespace grid;
    const int left = m_layout.RowLeft();
    const QPen thin(m_colours.ink, 1);
    const QFontMetrics metrics(m_fontBeatNumber);
    const int numberHeight = metrics.height();
    const int markHeight = QFontMetrics(m_fontMark).height();
    // The band of a row: its marks and numbers above the line, the progress
    // strip and vibhag lines on it.
    const int bandTop = m_layout.Marks().empty() ? 23 : kMarkTop;
    const int bandBelow = m_layout.Marks().empty() ? kProgressHalfHeight : kVibhagLineBelow + 1;
    for (int k = 0; k < m_layout.RulerRowCount(); ++k) {
        const int y = RulerY(k);
        if (exposed.bottom <= y - bandTop || exposed.top >= y + bandBelow)
            continue;
        const RulerSpan span = m_layout.RowSpan(k);
        const int right = m_layout.RowRight(k);
        int playedTo = left;
        if (showProgress && m_beat != 0.0f)
            playedTo = m_layout.PlayedRowEnd(m_beat, k);
        if (playedTo > left)
            painter.fillRect(
                QRect(left, y - kProgressHalfHeight, playedTo - left, 2 * kProgressHalfHeight),
                m_colours.progress);
        painter.setPen(thin);
        painter.setFont(m_fontBeatNumber);
        if (playedTo < right)
            painter.drawLine(playedTo, y, right, y);
        for (int j = 0; j <= span.beats; ++j) {
            const int x = left + kPixelsPerBeat * j;
            painter.drawLine(x, y - kBeatTick, x, y);
            painter.drawText(QRect(x - 3, y - 23, 100, numberHeight),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             QString::number(span.firstBeat + j + 1));
        }
        for (int j = 0; j < span.beats; ++j) {
            const int x = left + kPixelsPerBeat / 2 + kPixelsPerBeat * j;
            painter.drawLine(x, y - kHalfBeatTick, x, y);
        }
        // Each vibhag starting on this row: a heavier line through the ruler
        // and its mark over the beat number, sam red and khali blue.
        painter.setFont(m_fontMark);
        for (const VibhagMarkAt& mark : m_layout.Marks()) {
            if (mark.row != k)
                continue;
            painter.fillRect(QRect(mark.x - 1, y - kBeatTick, 3, kBeatTick + kVibhagLineBelow),
                             m_colours.ink);
            painter.setPen(mark.mark == 'X'   ? m_colours.sam
                           : mark.mark == '0' ? m_colours.khali
                                              : m_colours.ink);
            painter.drawText(QRect(mark.x - 3, y - kMarkTop, 100, markHeight),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             QString(QChar::fromLatin1(mark.mark)));
        }
    }
}

void CLorvantaView::PaintCells(QPainter& painter, const PageRect& exposed) {
    painter.setFont(m_fontBeatNumber);
    painter.setPen(QPen(m_colours.ink, 1));
    const int sounding = SoundingBol();
    const int count = std::min(m_layout.CellCount(), m_doc.Taal().Count());
    // Selected cells reach a pixel outside their frames.
    auto [first, last] = m_layout.CellsIn(exposed.Grown(2));
    last = std::min(last, count);
    for (int i = first; i < last; ++i) {
        const CBolView& cell = m_layout.Cells()[static_cast<std::size_t>(i)];
        const QRect frame = ToQRect(cell.frame);
        // The sounding bol is lit in its own colour; selected, it keeps the
        // selection's heavy outline.
        const QColor fill = i == sounding ? m_colours.sounding : m_colours.selection;
        if (Editor().IsSelected(i)) {
            painter.fillRect(ToQRect(cell.frame.Grown(1)), m_colours.ink);
            painter.fillRect(ToQRect(cell.frame.Grown(-1)), fill);
        } else {
            if (i == sounding)
                painter.fillRect(frame, fill);
            painter.drawRect(frame.adjusted(0, 0, -1, -1));
        }
        if (!cell.textRect.IsEmpty() && !cell.text.empty())
            painter.drawText(ToQRect(cell.textRect),
                             Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                             QString::fromStdString(cell.text));
    }
}

// --- Window events ------------------------------------------------------------

void CLorvantaView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    RecalcLayout(-1);
    if (m_nameEdit)
        FitNameEdit();
}

void CLorvantaView::scrollContentsBy(int dx, int dy) {
    // Children (the name editor) move with the page; the pinned band does not.
    viewport()->scroll(dx, dy);
    if (IsPlaying() || IsPaused())
        viewport()->update(0, 0, viewport()->width(),
                           static_cast<int>(std::ceil(kBeatBandHeight * m_zoom)) + std::abs(dy));
}

void CLorvantaView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        if (event->angleDelta().y() > 0)
            ZoomIn();
        else if (event->angleDelta().y() < 0)
            ZoomOut();
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void CLorvantaView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_colours = PageColoursFor(palette());
        viewport()->update();
    }
}

void CLorvantaView::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Space:
        if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            break;
        if (!m_nameEdit) {
            if (IsPlaying())
                m_session.Stop();
            else
                m_session.Play();
        }
        event->accept();
        return;
    case Qt::Key_D:
    case Qt::Key_L:
    case Qt::Key_T:
        if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !m_nameEdit) {
            if (event->key() == Qt::Key_D)
                emit droneKeyPressed();
            else if (event->key() == Qt::Key_L)
                emit lehraKeyPressed();
            else if (!event->isAutoRepeat())
                emit tapKeyPressed();
            event->accept();
            return;
        }
        break;
    case Qt::Key_PageUp:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Up:
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Home:
        Editor().KeyHome(shift);
        ShowCaret();
        break;
    case Qt::Key_End:
        Editor().KeyEnd(shift);
        ShowCaret();
        break;
    case Qt::Key_Left:
        Editor().KeyLeft(shift);
        ShowCaret();
        break;
    case Qt::Key_Right:
        Editor().KeyRight(shift);
        ShowCaret();
        break;
    case Qt::Key_Delete:
        if (Editor().CanDelete())
            Editor().Delete();
        break;
    case Qt::Key_Menu:
        ShowContextMenuAtCaret();
        break;
    case Qt::Key_F10:
        if (!shift) {
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
        ShowContextMenuAtCaret();
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CLorvantaView::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (m_nameEdit)
        EndNameEdit();
    const Qt::KeyboardModifiers mods = event->modifiers();
    KeyModifiers modifiers;
    modifiers.shift = mods & Qt::ShiftModifier;
    modifiers.control = mods & Qt::ControlModifier;
    Editor().Click(HitTest(event->position().toPoint()), modifiers);
    event->accept();
}

void CLorvantaView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click only opens the name editor.
    event->accept();
    if (event->button() != Qt::LeftButton || m_nameEdit)
        return;
    // The name as the user sees it: the client point taken to the page.
    if (m_rcTaalName.contains(ToPage(event->position().toPoint())))
        BeginNameEdit();
}

void CLorvantaView::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    event->accept();
    if (event->button() != Qt::RightButton)
        return;
    ShowContextMenu(HitTest(event->position().toPoint()), event->globalPosition().toPoint());
}

void CLorvantaView::ShowContextMenu(int index, QPoint globalPos) {
    Editor().ContextClick(index);
    QMenu* menu = index < 0 ? m_smallMenu.data() : m_editMenu.data();
    if (menu)
        menu->exec(globalPos);
}

void CLorvantaView::ShowContextMenuAtCaret() {
    // The caret's bol, or the selection's first when the caret is unset.
    int caret = Editor().Caret();
    if (!m_layout.GetBolView(caret))
        caret = Editor().GetFirstSelected();
    const CBolView* cell = m_layout.GetBolView(caret);
    QPoint at(0, 0);
    if (cell) {
        ShowCaret(caret);
        at = ToClient(cell->frame).bottomLeft();
    }
    ShowContextMenu(cell ? caret : -1, viewport()->mapToGlobal(at));
}

bool CLorvantaView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The tips lie over the header's parts where the page shows them now.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint page = ToPage(help->pos());
        if (m_rcTaalName.contains(page))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kNameTip), viewport(),
                               ToClient(m_rcTaalName));
        else if (m_rcTaalInfo.contains(page))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kInfoTip), viewport(),
                               ToClient(m_rcTaalInfo));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- The name editor ----------------------------------------------------------

void CLorvantaView::BeginNameEdit() {
    if (m_nameEdit)
        return;
    m_nameEdit = new QLineEdit(viewport());
    m_nameEdit->setObjectName(QStringLiteral("taalNameEdit"));
    m_nameEdit->setFrame(false);
    m_nameEdit->setAlignment(Qt::AlignHCenter);
    QFont font = m_fontTitle;
    font.setPixelSize(std::max(1, static_cast<int>(m_fontTitle.pixelSize() * m_zoom)));
    m_nameEdit->setFont(font);
    m_nameEdit->setText(QString::fromStdString(m_doc.Taal().Name()));
    m_nameEdit->setGeometry(ToClient(m_rcTaalName));
    m_nameEdit->installEventFilter(this);
    m_sizeNameEditMin = m_rcTaalName.size();
    connect(m_nameEdit, &QLineEdit::textChanged, this, &CLorvantaView::FitNameEdit);
    m_nameEdit->show();
    m_nameEdit->setFocus(Qt::MouseFocusReason);
    m_nameEdit->selectAll();
}

void CLorvantaView::FitNameEdit() {
    if (!m_nameEdit)
        return;
    const QFontMetrics metrics(m_fontTitle);
    const int w =
        std::max(metrics.horizontalAdvance(m_nameEdit->text()), m_sizeNameEditMin.width());
    const int h = std::max(metrics.height(), m_sizeNameEditMin.height());
    const int left = HeaderTextLeft(PageWidth(), w) - 4;
    m_rcTaalName = QRect(left, kNameTop, w + 4, h);
    m_nameEdit->setGeometry(ToClient(m_rcTaalName));
    m_nameEdit->update();
}

void CLorvantaView::EndNameEdit(bool commit) {
    if (!m_nameEdit)
        return;
    const std::string text = m_nameEdit->text().toStdString();
    QLineEdit* edit = std::exchange(m_nameEdit, nullptr);
    m_sizeNameEditMin = QSize(0, 0);
    const bool hadFocus = edit->hasFocus();
    edit->removeEventFilter(this);
    edit->hide();
    edit->deleteLater();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
    if (commit)
        Editor().CommitName(text);
    InvalidateHeader(kInfoTop);
}

bool CLorvantaView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_nameEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            EndNameEdit();
            return true;
        }
        if (key == Qt::Key_Tab) {
            EndNameEdit();
            Editor().SelectBol(0, true);
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

} // namespace lorvanta
