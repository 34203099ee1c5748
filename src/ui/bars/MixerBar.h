#pragma once

#include "audio/DrumLevels.h"

#include <QToolBar>

#include <array>

class QLabel;
class QSlider;
class QToolButton;

namespace lorvanta {

// The mixer bar: a slider for each drum (treble, bass), one for both (master)
// and one for the drone, each with its level in dB beside it. The three drum
// levels run from -40 to +6 dB and each has a Mute switch that silences it
// and keeps its level for when it comes back; the drone's runs over the
// drone's range (it is switched on and off in the Audio menu). The sliders
// move in half decibels. Every change by the user leaves through
// levelsChanged or droneLevelChanged at once.
class CMixerBar : public QToolBar {
    Q_OBJECT

public:
    enum Channel { kTreble, kBass, kMaster, kDrone, kLehra };
    static constexpr int kChannels = 5;
    // Slider positions per dB.
    static constexpr int kStepsPerDb = 2;

    explicit CMixerBar(QWidget* parent = nullptr);

    // Shows these levels without announcing them.
    void SetLevels(const DrumLevels& levels);
    void SetDroneLevel(float levelDb);
    void SetLehraLevel(float levelDb);
    const DrumLevels& Levels() const { return m_levels; }
    float DroneLevel() const { return m_droneDb; }
    float LehraLevel() const { return m_lehraDb; }

    // "-6.0 dB", "+3.5 dB", "0.0 dB".
    static QString LevelText(float db);

    QSlider* Slider(Channel channel) const { return m_sliders[channel]; }
    QLabel* Readout(Channel channel) const { return m_readouts[channel]; }
    // Null for the drone and the lehra.
    QToolButton* OffButton(Channel channel) const { return m_offButtons[channel]; }

signals:
    void levelsChanged(const lorvanta::DrumLevels& levels);
    void droneLevelChanged(float levelDb);
    void lehraLevelChanged(float levelDb);

private:
    DrumLevel& Level(Channel channel);
    void OnSliderMoved(Channel channel);
    void OnOffToggled(Channel channel, bool off);
    // The channel's slider, readout and button as its level is now.
    void ShowChannel(Channel channel);

    DrumLevels m_levels;
    float m_droneDb = 0.0f;
    float m_lehraDb = 0.0f;
    std::array<QSlider*, kChannels> m_sliders{};
    std::array<QLabel*, kChannels> m_readouts{};
    std::array<QToolButton*, kChannels> m_offButtons{};
};

} // namespace lorvanta
