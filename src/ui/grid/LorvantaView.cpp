#include "ui/grid/LorvantaView.h"

#include "model/Conversions.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "ui/Services.h"

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
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

constexpr int kBeatNumberFontHeight = 12;
constexpr int kTitleFontHeight = 24;
constexpr int kInfoFontHeight = 16;
constexpr int kBeatDisplayFontHeight = 36;
constexpr int kMarkFontHeight = 15;
constexpr QColor kSilver{192, 192, 192};
constexpr QColor kProgressBlue{0, 0, 255};
constexpr QColor kBeatRed{255, 0, 0};
constexpr QColor kBeatBlue{0, 0, 255};
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
QRect CentredLine(QPainter& painter, const QString& text, int width, int top) {
    const QFontMetrics metrics(painter.font());
    painter.drawText(QRect(0, top, width, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
    const int cx = metrics.horizontalAdvance(text);
    const int left = static_cast<int>(std::floor((width - cx) / 2.0)) - 4;
    return QRect(left, top, cx + 4, metrics.height());
}

} // namespace

CLorvantaView::CLorvantaView(CLorvantaSession& session, MessageSink& sink,
                             const AppSettings& settings, QWidget* parent)
    : QAbstractScrollArea(parent), m_session(session), m_doc(session.Document()), m_sink(sink),
      m_settings(settings) {
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
    QPalette page = viewport()->palette();
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, Qt::black);
    viewport()->setPalette(page);
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
    if (IsPlaying())
        m_positionTimer->start();
    else
        m_positionTimer->stop();
    viewport()->update();
}

void CLorvantaView::OnPositionTimer() {
    const std::uint64_t updates = m_session.PositionUpdates();
    if (updates == m_positionsSeen || !IsPlaying())
        return;
    m_positionsSeen = updates;
    ++m_positionsShown;
    const float beat = m_session.PlayingBeat();
    const int bol = m_session.PlayingBol();
    ShowPlayingPosition(beat, bol);
    emit playingPositionShown(beat, bol);
}

void CLorvantaView::ShowPlayingPosition(float beat, int bol) {
    const float previous = m_beat;
    if (beat == previous)
        return;
    FollowPlayingRow(previous, beat);
    const QPoint scroll = ScrollOffset();
    for (const PageRect& strip : m_layout.ProgressRepaint(previous, beat))
        viewport()->update(ToQRect(strip.Moved(-scroll.x(), -scroll.y())));

    bool displayChanged = false;
    if (m_settings.playingBeatDisplay == kDisplayBolName) {
        displayChanged = bol != m_playingBol;
    } else {
        displayChanged = TruncateToInt(previous) != TruncateToInt(beat);
    }
    m_playingBol = bol;
    m_beat = beat;
    if (displayChanged) {
        // The text is drawn from the box's top and may reach a little below it.
        QRect box = m_rcBeatDisplay;
        box.setHeight(std::max(box.height(), QFontMetrics(m_fontBeatDisplay).height()));
        viewport()->update(box.translated(-scroll));
    }
}

void CLorvantaView::ScrollIntoView(int top, int bottom) {
    QScrollBar* bar = verticalScrollBar();
    const int height = viewport()->height();
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + height)
        bar->setValue(std::min(top, bottom - height));
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
    ScrollIntoView(cellsTop - RowAboveCells(), cellsTop + grid::kCellHeight + kRowBelowCells);
}

void CLorvantaView::ShowCaret() {
    const CBolView* cell = m_layout.GetBolView(Editor().Caret());
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
    viewport()->update(m_rcTaalInfo.translated(-ScrollOffset()));
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
    viewport()->update(QRect(QPoint(0, 0) - ScrollOffset(), QSize(viewport()->width(), height)));
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
    m_layout.RecalcLayout(viewport()->width(), m_doc.Taal(), after);
    UpdateScrollSizes();
    viewport()->update();
}

void CLorvantaView::UpdateScrollSizes() {
    QScrollBar* bar = verticalScrollBar();
    const int page = viewport()->height();
    bar->setPageStep(std::max(1, page));
    bar->setSingleStep(grid::kLineStepY);
    bar->setRange(0, std::max(0, m_layout.PageHeight() - page));
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
    return ToQRect(page).translated(-ScrollOffset());
}

int CLorvantaView::HitTest(QPoint client) const {
    const QPoint page = client + ScrollOffset();
    return m_layout.HitTest(page.x(), page.y());
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
        const CBol2* bol = m_doc.Taal().BolAt(m_playingBol);
        return bol ? QString::fromStdString(ShortBolName(bol->name)) : QString();
    }
    const int beat = TruncateToInt(m_beat);
    if (colour) {
        switch (BeatNumberColour(beat, m_doc.Taal().Total())) {
        case BeatColour::Red:
            *colour = kBeatRed;
            break;
        case BeatColour::Blue:
            *colour = kBeatBlue;
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
    PaintPage(painter, ToPageRect(event->rect().translated(scroll)));
    ++m_paintCount;
    m_paintTime += std::chrono::nanoseconds(timer.nsecsElapsed());
}

void CLorvantaView::PaintPage(QPainter& painter, const PageRect& exposed) {
    const int width = viewport()->width();
    painter.setPen(QPen(Qt::black, 1));
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
            painter.setPen(Qt::black);
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
    const QPen thin(Qt::black, 1);
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
                kProgressBlue);
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
                             Qt::black);
            painter.setPen(mark.mark == 'X'   ? kBeatRed
                           : mark.mark == '0' ? kBeatBlue
                                              : QColor(Qt::black));
            painter.drawText(QRect(mark.x - 3, y - kMarkTop, 100, markHeight),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             QString(QChar::fromLatin1(mark.mark)));
        }
    }
}

void CLorvantaView::PaintCells(QPainter& painter, const PageRect& exposed) {
    painter.setFont(m_fontBeatNumber);
    painter.setPen(QPen(Qt::black, 1));
    const int count = std::min(m_layout.CellCount(), m_doc.Taal().Count());
    // Selected cells reach a pixel outside their frames.
    auto [first, last] = m_layout.CellsIn(exposed.Grown(2));
    last = std::min(last, count);
    for (int i = first; i < last; ++i) {
        const CBolView& cell = m_layout.Cells()[static_cast<std::size_t>(i)];
        const QRect frame = ToQRect(cell.frame);
        if (Editor().IsSelected(i)) {
            painter.fillRect(ToQRect(cell.frame.Grown(1)), Qt::black);
            painter.fillRect(ToQRect(cell.frame.Grown(-1)), kSilver);
        } else {
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
    // Children (the name editor) move with the page.
    viewport()->scroll(dx, dy);
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
    case Qt::Key_T:
        if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !m_nameEdit) {
            if (event->key() == Qt::Key_D)
                emit droneKeyPressed();
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
    if (m_rcTaalName.contains(event->position().toPoint() + ScrollOffset()))
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

bool CLorvantaView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The tips lie over the header's parts where the page shows them now.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint page = help->pos() + ScrollOffset();
        if (m_rcTaalName.contains(page))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kNameTip), viewport(),
                               m_rcTaalName.translated(-ScrollOffset()));
        else if (m_rcTaalInfo.contains(page))
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kInfoTip), viewport(),
                               m_rcTaalInfo.translated(-ScrollOffset()));
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
    m_nameEdit->setFont(m_fontTitle);
    m_nameEdit->setText(QString::fromStdString(m_doc.Taal().Name()));
    m_nameEdit->setGeometry(m_rcTaalName.translated(-ScrollOffset()));
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
    const int left = static_cast<int>(std::floor((viewport()->width() - w) / 2.0)) - 4;
    m_rcTaalName = QRect(left, kNameTop, w + 4, h);
    m_nameEdit->setGeometry(m_rcTaalName.translated(-ScrollOffset()));
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
