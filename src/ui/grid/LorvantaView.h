#pragma once

// The bol grid, the main view of the document: the Taal drawn as a page that
// scrolls vertically (the logo, the Taal's name, its length and tempo, the
// beat now playing, a beat ruler of one or more rows and a cell per bol under
// it), the playing position moving along the ruler, and the user's hand on
// the bols. The selection and every edit live in the editor (CTaalEditor)
// the view owns; the view turns mouse and keys into its calls and draws what
// it reports. The view also owns the document's sound: the renderer and the
// playback engine.

#include "audio/BolAudition.h"
#include "audio/playback/DirectSound.h"
#include "session/TaalEditor.h"
#include "ui/grid/GridGeometry.h"
#include "ui/panes/TaalTextView.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QRect>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

class QLineEdit;
class QMenu;
class QTimer;

namespace lorvanta {

class BolFieldsPane;
class CLorvantaDoc;
class CPlaybackEngine;
class CSampleBank;
class CTaalRenderer;
class MessageSink;
struct AppSettings;

class CLorvantaView : public QAbstractScrollArea, public EditorHost, public TaalTextHost {
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
    // Below this the header draws nothing (the logo reaches further down).
    static constexpr int kHeaderBottom = 130;
    static constexpr int kPixelsPerBeat = grid::kPixelsPerBeat;
    static constexpr QPoint kLogoPosition{10, 10};
    // How often the playing position is looked at while playing.
    static constexpr std::chrono::milliseconds kPositionInterval{15};
    // After the user scrolls, the page stops following the playing row for
    // this long.
    static constexpr std::chrono::milliseconds kUserScrollHold{3000};

    // The document, bank, sink and settings must outlive the view. Output is
    // opened through `opener` at the first initial update. The clipboard may
    // be null until the program's own is set.
    CLorvantaView(CLorvantaDoc& doc, const CSampleBank& bank, MessageSink& sink,
                  const AppSettings& settings, OutputOpener opener,
                  BolClipboard* clipboard = nullptr, QWidget* parent = nullptr);
    // Stops playback and shuts the sound down before anything it reads goes.
    ~CLorvantaView() override;

    // A document was created or opened: undo history cleared, playback
    // stopped, one cell per bol laid out, every bol rendered; the first time,
    // the sound is set up.
    void OnInitialUpdate();

    // The panes the selection is shown in; either may be null.
    void SetBolPane(BolFieldsPane* pane) { m_bolPane = pane; }
    void SetTextPane(CTaalTextView* pane) { m_textPane = pane; }
    // The popups of a right click: `small` on empty space, `edit` (the main
    // menu's Edit popup) on a cell. Owned by the caller.
    void SetContextMenus(QMenu* small, QMenu* edit);

    CTaalEditor& Editor() { return *m_editor; }
    const CTaalEditor& Editor() const { return *m_editor; }

    // From the tempo and pitch bars: heard at once while playing.
    void SetTempo(float secondsPerBeat);
    void SetPitch(float factor);
    // The bank's strokes changed (another kit): every bol is rendered anew
    // and, while playing, heard at once from the same point of the cycle.
    void OnStrokesChanged();
    // The bol properties pane's Play Bol: stops the Taal, then plays the bol
    // alone, one beat long.
    void PlayBol(const CBol2& bol);

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
    int SelectedCount() const { return m_editor->SelectedCount(); }
    void SelectBol(int index, bool exclusive) { m_editor->SelectBol(index, exclusive); }

    // --- Layout ------------------------------------------------------------
    const CGridLayout& Layout() const { return m_layout; }
    // The cell under a point of the viewport (client coordinates); -1 none.
    int HitTest(QPoint client) const;
    const CBolView* GetBolView(int index) const { return m_layout.GetBolView(index); }
    int BeatsPerRow() const { return m_layout.BeatsPerRow(); }
    int RowLeft() const { return m_layout.RowLeft(); }
    // The scroll position: page = client + ScrollOffset().
    QPoint ScrollOffset() const;
    // A page rectangle where it shows in the viewport now.
    QRect ToClient(const PageRect& page) const;

    // Where the header's parts were last drawn, in page coordinates.
    QRect TaalNameRect() const { return m_rcTaalName; }
    QRect TaalInfoRect() const { return m_rcTaalInfo; }
    QRect BeatDisplayRect() const { return m_rcBeatDisplay; }
    // The texts the header shows now.
    QString InfoText() const;
    QString BeatDisplayText(QColor* colour = nullptr) const;
    // The faces the page is drawn with.
    const QFont& TitleFont() const { return m_fontTitle; }

    // --- In-place name editor ---------------------------------------------
    // Opens it on the Taal's name, its text selected; CommitName on close,
    // unless commit is false (a new or opened document discards the text).
    void BeginNameEdit();
    void EndNameEdit(bool commit = true);
    void FitNameEdit();
    QLineEdit* NameEditor() const { return m_nameEdit; }
    QSize NameEditMinimumSize() const { return m_sizeNameEditMin; }

    // --- Playing position ---------------------------------------------------
    // The position last shown (1-based beat) and its bol.
    float ShownBeat() const { return m_beat; }
    int ShownBol() const { return m_playingBol; }
    // Moves the shown position to p with bol b, repainting only what changes:
    // the ruler segment between the old and new position (every row when the
    // row changes or the position goes back) and the beat display when its
    // text changes. User-interface thread only.
    void ShowPlayingPosition(float beat, int bol);
    // Positions the view has taken from the playback thread.
    std::uint64_t PositionsShown() const { return m_positionsShown; }
    // Paint figures: paints done and the time they took.
    std::uint64_t PaintCount() const { return m_paintCount; }
    std::chrono::nanoseconds PaintTime() const { return m_paintTime; }

    // --- EditorHost: what the editor asks of the grid ----------------------
    void InsertBolView(int after) override;
    void RemoveBolView(int index) override;
    void DeleteBolViews() override;
    void CreateBolViews() override;
    void RecalcLayout(int after) override;
    void InvalidateCell(int index) override;
    void InvalidateHeader(int height) override;
    void InvalidateTaalInfo() override;
    void InvalidateAll() override;
    void UpdateWindow() override;
    void BeginWait() override;
    void EndWait() override;
    void ShowBol(int index) override;
    void EnableFields(bool controls, bool apply, bool revert) override;
    void LoadFields() override;
    void ClearFields() override;
    void HighlightBol(int index, bool exclusive) override;
    void RefreshText() override;
    void SetDefaultTempo(float bpm) override;
    void StopPlayback() override;

    // --- TaalTextHost: the notation pane's Apply ----------------------------
    void ReplaceTaal(const CTaal& taal) override;
    void FocusGrid() override;

    CTaalRenderer& Renderer() { return *m_renderer; }
    CPlaybackEngine& Engine() { return *m_engine; }
    // Status of the sound set-up at the first initial update (0: sound works).
    std::uint32_t SoundStatus() const { return m_soundStatus; }

signals:
    // Playback started or stopped, the selection or the document changed:
    // the frame updates the commands' enabling at once.
    void commandStateChanged();
    // An edit or an undo set the Taal's default tempo (in bpm).
    void defaultTempoChanged(float bpm);
    // A position from the playback thread was shown (user-interface thread).
    void playingPositionShown(float beat, int bol);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateDrawingTools();
    void UpdateScrollSizes();
    void PaintPage(QPainter& painter, const PageRect& exposed);
    void PaintRuler(QPainter& painter, const PageRect& exposed, bool showProgress);
    void PaintCells(QPainter& painter, const PageRect& exposed);
    void SyncPlayingPosition();
    void OnPositionTimer();
    // Scrolls the page the least that shows the page band [top, bottom).
    void ScrollIntoView(int top, int bottom);
    // The page follows the playing position onto a row it does not show.
    void FollowPlayingRow(float previous, float beat);
    void ShowCaret();
    void ShowContextMenu(int index, QPoint globalPos);

    CLorvantaDoc& m_doc;
    MessageSink& m_sink;
    const AppSettings& m_settings;
    std::unique_ptr<CTaalRenderer> m_renderer;
    std::unique_ptr<CPlaybackEngine> m_engine;
    std::unique_ptr<CTaalEditor> m_editor;
    CBolAudition m_audition;
    bool m_soundSetUp = false;
    std::uint32_t m_soundStatus = 0;

    BolFieldsPane* m_bolPane = nullptr;
    QPointer<CTaalTextView> m_textPane;
    QPointer<QMenu> m_smallMenu;
    QPointer<QMenu> m_editMenu;

    CGridLayout m_layout;
    QRect m_rcTaalName{0, kNameTop, 0, 0};
    QRect m_rcTaalInfo;
    QRect m_rcBeatDisplay;
    QLineEdit* m_nameEdit = nullptr;
    QSize m_sizeNameEditMin{0, 0};

    // Drawing tools, made once.
    QFont m_fontBeatNumber;
    QFont m_fontTitle;
    QFont m_fontInfo;
    QFont m_fontBeatDisplay;
    QPixmap m_logo;

    // The playing position. The playback thread only counts its updates
    // here; the position itself is the engine's (atomics), read by the
    // timer on this thread, which alone repaints.
    std::atomic<std::uint64_t> m_positionUpdates{0};
    std::uint64_t m_positionsSeen = 0;
    std::uint64_t m_positionsShown = 0;
    QTimer* m_positionTimer = nullptr;
    // Since the user last scrolled; invalid when never.
    QElapsedTimer m_sinceUserScroll;
    float m_beat = 1.0f;
    int m_playingBol = 0;
    // An edit while playing has its image rebuilt once the edit is done.
    bool m_rebuildPending = false;

    std::uint64_t m_paintCount = 0;
    std::chrono::nanoseconds m_paintTime{0};
};

} // namespace lorvanta
