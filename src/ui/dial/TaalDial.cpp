#include "ui/dial/TaalDial.h"

#include "model/LorvantaDoc.h"
#include "model/Taal.h"
#include "session/LorvantaSession.h"
#include "ui/grid/BolAccessible.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvanta {

double DialAngle(double beatsFromSam, double cycleBeats) {
    if (!(cycleBeats > 0.0))
        return 0.0;
    const double turns = beatsFromSam / cycleBeats;
    return (turns - std::floor(turns)) * 360.0;
}

std::vector<DialMark> DialMarks(const VibhagList& vibhags) {
    std::vector<DialMark> marks;
    const int total = TotalVibhagBeats(vibhags);
    const std::vector<int> starts = VibhagStartBeats(vibhags);
    for (std::size_t v = 0; v < vibhags.size(); ++v)
        marks.push_back({starts[v] + 1, vibhags[v].mark, DialAngle(starts[v], total)});
    return marks;
}

CTaalDial::CTaalDial(CLorvantaSession& session, QWidget* parent)
    : QWidget(parent), m_session(session), m_colours(PageColoursFor(palette())) {
    InstallBolAccessibility();
    setObjectName(QStringLiteral("taalDial"));
    setAccessibleName(QStringLiteral("Cycle dial"));
    setAccessibleDescription(
        QStringLiteral("The Taal's cycle as a circle of its beats; the beat now sounding is lit"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void CTaalDial::SetPosition(float beat, int bol) {
    const int whole = bol < 0 ? 0 : static_cast<int>(std::floor(beat));
    const int countIn = m_session.CountInLeft();
    m_beat = beat;
    // Repainted only when what it shows changes: the beat, the bol or the
    // count.
    if (whole == m_shownBeat && bol == m_bol && countIn == m_countIn)
        return;
    m_shownBeat = whole;
    m_countIn = countIn;
    m_bol = bol;
    update();
}

void CTaalDial::Refresh() {
    update();
}

double CTaalDial::BolAngle(int index) const {
    const CTaal& taal = m_session.Document().Taal();
    double start = 0.0;
    for (int i = 0; i < index && i < taal.Count(); ++i)
        start += static_cast<double>(taal.BolAt(i)->duration);
    return DialAngle(start, std::max(1e-3, static_cast<double>(taal.Total())));
}

int CTaalDial::CycleBeats() const {
    const float total = m_session.Document().Taal().Total();
    return std::max(1, static_cast<int>(std::ceil(static_cast<double>(total) - 1e-3)));
}

std::vector<DialMark> CTaalDial::Marks() const {
    const CLorvantaDoc& doc = m_session.Document();
    return DialMarks(VibhagsToShow(doc.Params(), doc.Taal().Total()).vibhags);
}

QString CTaalDial::CentreText() const {
    if (m_countIn > 0)
        return QStringLiteral("in %1").arg(m_countIn);
    if (m_bol < 0)
        return QStringLiteral("%1 beats").arg(CycleBeats());
    return QStringLiteral("Cycle %1").arg(m_session.CyclesCompleted() + 1);
}

QPointF CTaalDial::PointAt(double angle, double radiusFraction) const {
    const double side = std::min(width(), height());
    const double radius = side * 0.36 * radiusFraction;
    const double radians = angle * std::numbers::pi / 180.0;
    return {width() / 2.0 + radius * std::sin(radians),
            height() / 2.0 - radius * std::cos(radians)};
}

void CTaalDial::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_colours = PageColoursFor(palette());
        update();
    }
}

void CTaalDial::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), m_colours.paper);
    const double side = std::min(width(), height());
    const CTaal& taal = m_session.Document().Taal();
    const double cycle = std::max(1e-3, static_cast<double>(taal.Total()));
    const int beats = CycleBeats();
    const double radius = side * 0.36;
    const QPointF centre(width() / 2.0, height() / 2.0);

    painter.setPen(QPen(m_colours.ink, std::max(1.0, side / 200.0)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);

    // The bols' starts as short ticks inside the circle.
    double start = 0.0;
    for (const auto& bol : taal.Bols()) {
        const double angle = DialAngle(start, cycle);
        painter.drawLine(PointAt(angle, 0.93), PointAt(angle, 1.0));
        start += static_cast<double>(bol->duration);
    }

    // A dot per beat; the sounding beat's large and lit.
    const std::vector<DialMark> marks = Marks();
    const int lit = m_bol >= 0 ? (m_shownBeat - 1) % beats : -1;
    QFont number = font();
    number.setPixelSize(std::max(8, static_cast<int>(side / 22)));
    painter.setFont(number);
    for (int b = 0; b < beats; ++b) {
        const double angle = DialAngle(b, cycle);
        const bool isLit = b == lit;
        const double dot = side * (isLit ? 0.045 : 0.018);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isLit ? m_colours.progress : m_colours.ink);
        if (isLit) {
            painter.setBrush(m_colours.sounding);
            painter.setPen(QPen(m_colours.ink, std::max(1.0, side / 150.0)));
        }
        painter.drawEllipse(PointAt(angle, 1.0), dot, dot);
        // Beat numbers just inside, small, where no mark stands.
        const bool marked = std::any_of(marks.begin(), marks.end(),
                                        [b](const DialMark& mark) { return mark.beat == b + 1; });
        if (!marked && beats <= 32) {
            painter.setPen(m_colours.ink);
            const QPointF at = PointAt(angle, 0.8);
            painter.drawText(QRectF(at.x() - side / 10, at.y() - side / 20, side / 5, side / 10),
                             Qt::AlignCenter, QString::number(b + 1));
        }
    }

    // The marks outside the circle, large: sam red, khali blue.
    QFont markFont = font();
    markFont.setPixelSize(std::max(10, static_cast<int>(side / 11)));
    markFont.setBold(true);
    painter.setFont(markFont);
    for (const DialMark& mark : marks) {
        painter.setPen(mark.mark == 'X'   ? m_colours.sam
                       : mark.mark == '0' ? m_colours.khali
                                          : m_colours.ink);
        const QPointF at = PointAt(mark.angle, 1.25);
        painter.drawText(QRectF(at.x() - side / 8, at.y() - side / 12, side / 4, side / 6),
                         Qt::AlignCenter, QString(QChar::fromLatin1(mark.mark)));
    }

    // The pointer at the position, while something sounds: from the numbers
    // to the rim, clear of the middle's text.
    if (m_bol >= 0) {
        const double angle = DialAngle(static_cast<double>(m_beat) - 1.0, cycle);
        painter.setPen(
            QPen(m_colours.progress, std::max(2.0, side / 80.0), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(PointAt(angle, 0.62), PointAt(angle, 0.9));
    }

    // In the middle: the cycle, and the bol sounding under it.
    QFont centreFont = font();
    centreFont.setPixelSize(std::max(9, static_cast<int>(side / 14)));
    painter.setFont(centreFont);
    painter.setPen(m_colours.ink);
    const QRectF middle(centre.x() - radius * 0.55, centre.y() - radius * 0.4, radius * 1.1,
                        radius * 0.3);
    painter.drawText(middle, Qt::AlignCenter, CentreText());
    if (const CBol2* bol = taal.BolAt(m_bol)) {
        QFont bolFont = centreFont;
        bolFont.setPixelSize(std::max(11, static_cast<int>(side / 10)));
        bolFont.setBold(true);
        painter.setFont(bolFont);
        const QRectF below(centre.x() - radius * 0.55, centre.y() - radius * 0.05, radius * 1.1,
                           radius * 0.42);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_colours.sounding);
        painter.drawRoundedRect(below, radius * 0.08, radius * 0.08);
        painter.setPen(m_colours.ink);
        painter.drawText(below, Qt::AlignCenter, QString::fromStdString(bol->name));
    }
}

} // namespace lorvanta
