#pragma once

// The Taal's cycle as a dial: its beats round a circle, sam at the top and
// time running clockwise, the vibhags' marks (X, 0 and the taali numbers) at
// the beats they start on, the sounding beat and bol lit, and the cycle
// count in the middle. Large enough to read from a practice distance; it
// scales with its pane.

#include "model/Vibhags.h"
#include "ui/grid/PageColours.h"

#include <QWidget>

#include <string>
#include <vector>

namespace lorvanta {

class CLorvantaSession;

// Where on the dial a position stands: degrees clockwise from the top, for
// a position in beats from the cycle's start (0 at sam) of a cycle of
// `cycleBeats`.
double DialAngle(double beatsFromSam, double cycleBeats);

// A vibhag's mark on the dial: the beat it starts on (1-based), its mark and
// its angle.
struct DialMark {
    int beat = 1;
    char mark = 'X';
    double angle = 0.0;
    bool operator==(const DialMark&) const = default;
};
std::vector<DialMark> DialMarks(const VibhagList& vibhags);

class CTaalDial : public QWidget {
    Q_OBJECT

public:
    // The session must outlive the dial.
    explicit CTaalDial(CLorvantaSession& session, QWidget* parent = nullptr);

    // The playing position (1-based beat) and the bol sounding; bol -1 when
    // nothing sounds.
    void SetPosition(float beat, int bol);
    float Beat() const { return m_beat; }
    int SoundingBol() const { return m_bol; }
    // The Taal changed: its beats, vibhags and bols are drawn anew.
    void Refresh();

    // The whole beats round the dial, and the marks shown (none when the
    // Taal's vibhags do not fit it).
    int CycleBeats() const;
    std::vector<DialMark> Marks() const;
    // The text in the middle: the cycle now playing ("Cycle 3"), the
    // count-in's beats to come ("in 3"), or the beat count when stopped
    // ("16 beats").
    QString CentreText() const;
    // A point on the dial at an angle and a fraction of its radius, in the
    // widget's pixels.
    QPointF PointAt(double angle, double radiusFraction) const;
    const PageColours& Colours() const { return m_colours; }
    CLorvantaSession& Session() const { return m_session; }
    // The angle at which bol `index` starts.
    double BolAngle(int index) const;

    QSize sizeHint() const override { return {260, 260}; }
    QSize minimumSizeHint() const override { return {120, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CLorvantaSession& m_session;
    PageColours m_colours;
    float m_beat = 1.0f;
    int m_bol = -1;
    int m_shownBeat = 0; // the whole beat drawn lit
    int m_countIn = 0;   // the count-in's beats to come, as drawn
};

} // namespace lorvanta
