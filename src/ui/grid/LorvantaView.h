#pragma once

// The bol grid, the main view of the document. It owns the document's sound:
// the renderer (one looping cycle of the Taal) and the playback engine, and
// carries the Play, Pause and Stop commands. In this form it draws the page's
// header: the Taal's name, its length and default tempo, and the beat now
// playing.

#include "audio/playback/DirectSound.h"
#include "model/Action.h"
#include "ui/panes/TaalTextView.h"

#include <QAbstractScrollArea>
#include <QPixmap>
#include <QRect>

#include <atomic>
#include <cstdint>
#include <memory>

namespace lorvanta {

class CLorvantaDoc;
class CPlaybackEngine;
class CSampleBank;
class CTaalRenderer;
class MessageSink;
struct AppSettings;

class CLorvantaView : public QAbstractScrollArea, public TaalTextHost {
    Q_OBJECT

public:
    // Texts of the header.
    static constexpr const char* kInfoFormat = "Taal length: %1 beats, Default tempo = %2";
    static constexpr const char* kInfoTip = "Set default tempo in Edit -> Taal Properties";
    static constexpr const char* kNameTip = "Double-click to edit Taal name";
    // Header geometry, in pixels of the page.
    static constexpr int kNameTop = 50;
    static constexpr int kInfoTop = 90;
    static constexpr int kBeatDisplayWidth = 288;
    static constexpr int kBeatDisplayBottom = 86;
    static constexpr int kPixelsPerBeat = 100;

    // The document, bank, sink and settings must outlive the view. Output is
    // opened through `opener` at the first initial update.
    CLorvantaView(CLorvantaDoc& doc, const CSampleBank& bank, MessageSink& sink,
                  const AppSettings& settings, OutputOpener opener, QWidget* parent = nullptr);
    // Stops playback and shuts the sound down before anything it reads goes.
    ~CLorvantaView() override;

    // A document was created or opened: undo history cleared, playback
    // stopped, every bol rendered; the first time, the sound is set up.
    void OnInitialUpdate();

    // From the tempo and pitch bars: heard at once while playing.
    void SetTempo(float secondsPerBeat);
    void SetPitch(float factor);

    // The audio commands and their enabling rules.
    void OnAudioPlay();
    void OnAudioPause();
    void OnAudioStop() override;
    void OnAudioPlayFromSelected();
    bool CanPlay() const;
    bool CanPause() const;
    bool CanStop() const;
    bool CanPlayFromSelected() const;
    bool IsPlaying() const override;
    bool IsPaused() const;
    // Number of selected bols (the selection comes with the grid's cells).
    int SelectedCount() const { return m_selectedCount; }

    // What the notation pane drives when it applies a new Taal.
    UndoLists& UndoHistory() override { return m_undo; }
    void SelectBol(int index, bool exclusive) override;
    void DeleteBolViews() override;
    void CreateBolViews() override;
    void RenderAllBols() override;
    void RecalcLayout(int after) override;
    void FocusGrid() override;

    // Where the header's parts were last drawn, in page coordinates.
    QRect TaalNameRect() const { return m_rcTaalName; }
    QRect TaalInfoRect() const { return m_rcTaalInfo; }
    QRect BeatDisplayRect() const { return m_rcBeatDisplay; }
    // The texts the header shows now.
    QString InfoText() const;
    QString BeatDisplayText(QColor* colour = nullptr) const;

    // Beats per row and the left end of the rows for the viewport's width.
    int BeatsPerRow() const;
    int RowLeft() const;

    CTaalRenderer& Renderer() { return *m_renderer; }
    CPlaybackEngine& Engine() { return *m_engine; }
    // Status of the sound set-up at the first initial update (0: sound works).
    std::uint32_t SoundStatus() const { return m_soundStatus; }
    // Set by the playback thread's position updates, cleared by the repaint.
    bool IsRepaintPending() const { return m_repaintPending.load(); }

signals:
    // Playback started or stopped, or the document was renewed: the frame
    // updates the commands' enabling at once.
    void commandStateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // On the playback thread: asks for one repaint on this view's thread.
    void OnPlayingPositionChanged();
    void OnRepaintPosted();

    CLorvantaDoc& m_doc;
    MessageSink& m_sink;
    const AppSettings& m_settings;
    UndoLists m_undo;
    std::unique_ptr<CTaalRenderer> m_renderer;
    std::unique_ptr<CPlaybackEngine> m_engine;
    bool m_soundSetUp = false;
    std::uint32_t m_soundStatus = 0;
    int m_selectedCount = 0;
    QPixmap m_logo;

    QRect m_rcTaalName{0, kNameTop, 0, 0};
    QRect m_rcTaalInfo;
    QRect m_rcBeatDisplay;
    std::atomic<bool> m_repaintPending{false};
};

} // namespace lorvanta
