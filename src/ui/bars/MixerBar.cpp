#include "ui/bars/MixerBar.h"

#include "audio/DroneMix.h"
#include "audio/LehraMix.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <cmath>

namespace lorvanta {
namespace {

struct ChannelInfo {
    const char* name;
    const char* objectName;
    const char* tip;
    float minDb;
    float maxDb;
};

constexpr ChannelInfo kInfo[CMixerBar::kChannels] = {
    {"Treble", "treble", "The level of the treble drum's strokes", kMinDrumLevelDb,
     kMaxDrumLevelDb},
    {"Bass", "bass", "The level of the bass drum's strokes", kMinDrumLevelDb, kMaxDrumLevelDb},
    {"Master", "master", "The level of both drums", kMinDrumLevelDb, kMaxDrumLevelDb},
    {"Drone", "drone", "The level of the drone against the Taal", kMinDroneLevelDb,
     kMaxDroneLevelDb},
    {"Lehra", "lehra", "The level of the lehra against the Taal", kMinLehraLevelDb,
     kMaxLehraLevelDb},
};

int Position(float db) {
    return static_cast<int>(std::lround(static_cast<double>(db) * CMixerBar::kStepsPerDb));
}

} // namespace

CMixerBar::CMixerBar(QWidget* parent) : QToolBar(tr("Mixer"), parent) {
    setObjectName(QStringLiteral("MixerBar"));
    m_droneDb = kDefaultDroneLevelDb;
    m_lehraDb = kDefaultLehraLevelDb;
    for (int i = 0; i < kChannels; ++i) {
        const auto channel = static_cast<Channel>(i);
        const ChannelInfo& info = kInfo[i];
        if (i > 0)
            addSeparator();
        auto* name = new QLabel(tr(info.name), this);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(info.objectName) + QStringLiteral("Slider"));
        slider->setRange(Position(info.minDb), Position(info.maxDb));
        slider->setPageStep(6 * kStepsPerDb);
        slider->setToolTip(tr(info.tip));
        slider->setAccessibleName(tr("%1 level").arg(tr(info.name)));
        slider->setAccessibleDescription(tr(info.tip));
        slider->setFixedWidth(100);
        auto* readout = new QLabel(this);
        readout->setObjectName(QString::fromLatin1(info.objectName) + QStringLiteral("Level"));
        readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        readout->setFixedWidth(
            readout->fontMetrics().horizontalAdvance(QStringLiteral("-60.0 dB")) + 6);
        name->setBuddy(slider);
        addWidget(name);
        addWidget(slider);
        addWidget(readout);
        m_sliders[i] = slider;
        m_readouts[i] = readout;
        if (channel != kDrone && channel != kLehra) {
            auto* off = new QToolButton(this);
            off->setObjectName(QString::fromLatin1(info.objectName) + QStringLiteral("Off"));
            // A switch, named for what pressing it does: it mutes the channel,
            // whose level comes back as it was when it is released.
            off->setText(tr("Mute"));
            off->setCheckable(true);
            off->setToolTip(tr("Mute the %1; unmuted, it comes back at its level")
                                .arg(tr(info.name).toLower()));
            off->setAccessibleName(tr("Mute %1").arg(tr(info.name).toLower()));
            addWidget(off);
            m_offButtons[i] = off;
            connect(off, &QToolButton::toggled, this,
                    [this, channel](bool checked) { OnOffToggled(channel, checked); });
        }
        // Every move by the user, dragged or by keys, is heard at once (moves
        // made from here are silent, see ShowChannel).
        connect(slider, &QSlider::valueChanged, this, [this, channel] { OnSliderMoved(channel); });
        ShowChannel(channel);
    }
}

DrumLevel& CMixerBar::Level(Channel channel) {
    return channel == kTreble ? m_levels.treble
           : channel == kBass ? m_levels.bass
                              : m_levels.master;
}

QString CMixerBar::LevelText(float db) {
    if (std::fabs(db) < 0.05f)
        return QStringLiteral("0.0 dB");
    return QString::asprintf(db > 0.0f ? "+%.1f dB" : "%.1f dB", static_cast<double>(db));
}

void CMixerBar::SetLevels(const DrumLevels& levels) {
    m_levels = levels.Clamped();
    for (Channel channel : {kTreble, kBass, kMaster})
        ShowChannel(channel);
}

void CMixerBar::SetDroneLevel(float levelDb) {
    m_droneDb = levelDb;
    ShowChannel(kDrone);
}

void CMixerBar::SetLehraLevel(float levelDb) {
    m_lehraDb = levelDb;
    ShowChannel(kLehra);
}

void CMixerBar::ShowChannel(Channel channel) {
    const QSignalBlocker sliderBlocker(m_sliders[channel]);
    if (channel == kDrone || channel == kLehra) {
        const float db = channel == kDrone ? m_droneDb : m_lehraDb;
        m_sliders[channel]->setValue(Position(db));
        m_readouts[channel]->setText(LevelText(db));
        return;
    }
    const DrumLevel& level = Level(channel);
    m_sliders[channel]->setValue(Position(level.db));
    m_readouts[channel]->setText(LevelText(level.db));
    // The level stays in view, greyed, while the drum is off.
    m_readouts[channel]->setEnabled(!level.off);
    const QSignalBlocker buttonBlocker(m_offButtons[channel]);
    m_offButtons[channel]->setChecked(level.off);
}

void CMixerBar::OnSliderMoved(Channel channel) {
    const float db = static_cast<float>(m_sliders[channel]->value()) / kStepsPerDb;
    if (channel == kDrone) {
        m_droneDb = db;
        m_readouts[channel]->setText(LevelText(db));
        emit droneLevelChanged(db);
        return;
    }
    if (channel == kLehra) {
        m_lehraDb = db;
        m_readouts[channel]->setText(LevelText(db));
        emit lehraLevelChanged(db);
        return;
    }
    Level(channel).db = db;
    m_readouts[channel]->setText(LevelText(db));
    emit levelsChanged(m_levels);
}

void CMixerBar::OnOffToggled(Channel channel, bool off) {
    Level(channel).off = off;
    m_readouts[channel]->setEnabled(!off);
    emit levelsChanged(m_levels);
}

} // namespace lorvanta
