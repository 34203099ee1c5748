#pragma once

// The bol grid, the main view of the document: the Taal drawn as a page that
// scrolls vertically (the logo, the Taal's name, its length and tempo, the
// beat now playing, a beat ruler of one or more rows and a cell per bol under
// it), the playing position moving along the ruler, and the user's hand on
// the bols. The selection and every edit live in the session's editor; the
// view turns mouse and keys into its calls, and keeps its cells, layout and
// repaints in step with what the editor and the session announce.

#include "gridlayout/GridGeometry.h"
#include "session/LorvantaSession.h"

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

class CLorvantaDoc;
class MessageSink;
struct AppSettings;

class CLorvantaView : public QAbstractScrollArea, private EditorObserver, private SessionObserver {
    Q_OBJECT

public:
    // Texts of the header.
    static constexpr const char* kInfoFormat = "Taal length: %1 beats, Default tempo = %2";
    static constexpr const char* kInfoTip = "Set default tempo in Edit -> Taal Properties";
    static constexpr const char* kNameTip = "Double-click to edit Taal name";
    // Header geometry, in pixels of the page.
    static constexpr int kNameTop = 50;
    // The part of the header a change of the Taal's name or tempo repaints.
    static constexpr int kPropertiesHeight = 120;
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

    // The session and settings must outlive the view.
    CLorvantaView(CLorvantaSession& session, MessageSink& sink, const AppSettings& settings,
                  QWidget* parent = nullptr);
    ~CLorvantaView() override;

    // The popups of a right click: `small` on empty space, `edit` (the main
    // menu's Edit popup) on a cell. Owned by the caller.
    void SetContextMenus(QMenu* small, QMenu* edit);

    CLorvantaSession& Session() { return m_session; }
    CTaalEditor& Editor() { return m_session.Editor(); }
    const CTaalEditor& Editor() const { return m_session.Editor(); }

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
    // The texts the header shows now; the beat number carries the mark of a
    // vibhag that starts on it.
    QString InfoText() const;
    QString BeatDisplayText(QColor* colour = nullptr) const;
    // The faces the page is drawn with.
    const QFont& TitleFont() const { return m_fontTitle; }

    // The setting "Rows by Vibhag" changed: lays the page out again.
    void ApplyRowsByVibhag();

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

signals:
    // A position from the playback thread was shown (user-interface thread).
    void playingPositionShown(float beat, int bol);
    // D: the drone on or off.
    void droneKeyPressed();
    // T: a tap of tap tempo.
    void tapKeyPressed();

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
    // --- What the editor and the session announce -------------------------
    void OnBolsInserted(int first, int count) override;
    void OnBolsRemoved(int first, int count) override;
    void OnBolsChanged(int first, int count) override;
    void OnTaalPropertiesChanged() override;
    void OnTaalReplaced(TaalReplacement why) override;
    void OnSelectionChanged(const SelectionChange& change) override;
    void OnLongOperationStarted() override;
    void OnLongOperationEnded() override;
    void OnPlaybackChanged() override;
    // Lays the grid out again from the bol after `after` (-1: all of it);
    // within a long operation, once at its end.
    void RecalcLayout(int after);
    void InvalidateCell(int index);
    // The header's top `height` pixels.
    void InvalidateHeader(int height);
    bool IsPlaying() const { return m_session.IsPlaying(); }
    bool IsPaused() const { return m_session.IsPaused(); }

    void CreateDrawingTools();
    void UpdateScrollSizes();
    void PaintPage(QPainter& painter, const PageRect& exposed);
    void PaintRuler(QPainter& painter, const PageRect& exposed, bool showProgress);
    void PaintCells(QPainter& painter, const PageRect& exposed);
    void SyncPlayingPosition();
    void OnPositionTimer();
    // Scrolls the page the least that shows the page band [top, bottom).
    void ScrollIntoView(int top, int bottom);
    // How much of a row to show above its cells: its ruler and any marks.
    int RowAboveCells() const;
    // The page follows the playing position onto a row it does not show.
    void FollowPlayingRow(float previous, float beat);
    void ShowCaret();
    void ShowContextMenu(int index, QPoint globalPos);

    CLorvantaSession& m_session;
    Subscription m_editorSubscription;
    Subscription m_sessionSubscription;
    CLorvantaDoc& m_doc;
    MessageSink& m_sink;
    const AppSettings& m_settings;
    // Within a long operation: whether cells were inserted or removed, and
    // the bol after which the layout changed (kNoLayout: nowhere).
    static constexpr int kNoLayout = 1 << 30;
    int m_longOperations = 0;
    bool m_cellsChanged = false;
    int m_layoutAfter = kNoLayout;
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
    QFont m_fontMark; // vibhag marks
    QPixmap m_logo;

    // The playing position. The playback thread only counts its updates in
    // the session; the position itself is the engine's (atomics), read by the
    // timer on this thread, which alone repaints.
    std::uint64_t m_positionsSeen = 0;
    std::uint64_t m_positionsShown = 0;
    QTimer* m_positionTimer = nullptr;
    // Since the user last scrolled; invalid when never.
    QElapsedTimer m_sinceUserScroll;
    float m_beat = 1.0f;
    int m_playingBol = 0;

    std::uint64_t m_paintCount = 0;
    std::chrono::nanoseconds m_paintTime{0};
};

} // namespace lorvanta
