#pragma once

// The session's and its editor's announcements as Qt signals, for the parts
// of the window that follow the state as a whole: the menus' and toolbar's
// enabling, the title, the tempo bar's default. Everything it relays happens
// on the window's thread.

#include "session/LorvantaSession.h"

#include <QObject>

namespace lorvanta {

class SessionSignals : public QObject, private EditorObserver, private SessionObserver {
    Q_OBJECT

public:
    // The session must outlive the adapter. The lehra worker's news is taken
    // on this object's thread.
    explicit SessionSignals(CLorvantaSession& session, QObject* parent = nullptr);
    ~SessionSignals() override;

signals:
    // An edit, the selection, playback or the Taal changed: whatever a
    // command's enabling follows (once at the end of a long operation).
    void stateChanged();
    // The Taal's name or default tempo changed (an edit, an undo).
    void taalPropertiesChanged();
    // A tempo ramp moved the tempo now heard (the tempo bar follows).
    void tempoChanged(float secondsPerBeat);

private:
    void OnBolsInserted(int, int) override { Changed(); }
    void OnBolsRemoved(int, int) override { Changed(); }
    void OnBolsChanged(int, int) override { Changed(); }
    void OnTaalPropertiesChanged() override;
    void OnTaalReplaced(TaalReplacement) override;
    void OnSelectionChanged(const SelectionChange&) override { Changed(); }
    void OnLongOperationStarted() override { ++m_longOperations; }
    void OnLongOperationEnded() override;
    void OnPlaybackChanged() override { Changed(); }
    void OnTempoChanged(float secondsPerBeat) override { emit tempoChanged(secondsPerBeat); }
    void OnRampChanged() override { Changed(); }
    void OnLehraChanged() override { Changed(); }
    void Changed();

    CLorvantaSession& m_session;
    Subscription m_editorSubscription;
    Subscription m_sessionSubscription;
    int m_longOperations = 0;
    bool m_changedDuringOperation = false;
};

} // namespace lorvanta
