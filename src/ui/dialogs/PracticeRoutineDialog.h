#pragma once

#include "session/PracticeRoutine.h"
#include "session/RoutinePlan.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QTableWidget;
class QTimer;

namespace lorvanta {

class CLorvantaSession;
class MessageSink;

// Audio > Practice Routine: a list of steps (Taal file, length, tempo, pause
// after), each field typed as the routine's text has it, built, ordered,
// saved and opened as .routine files, and played through the session. The
// window stays open beside the main one; the main window's status bar shows
// the step heard and the cycles left while a routine plays.
class CPracticeRoutineDialog : public QDialog {
    Q_OBJECT

public:
    // beforeReplacing is asked before a routine replaces the document (it
    // offers to save a modified one): false keeps the document and plays nothing.
    CPracticeRoutineDialog(CLorvantaSession& session, QString taalsFolder, QString routinesFolder,
                           MessageSink& sink, std::function<bool()> beforeReplacing,
                           QWidget* parent = nullptr);

    // The rows as a routine; a row that does not read is told (named by its
    // row) and none is returned.
    std::optional<PracticeRoutine> Routine();
    void SetRoutine(const PracticeRoutine& routine);
    // Reads or writes a routine file, telling what goes wrong. Writing never
    // leaves a half-written file in place of a good one.
    bool OpenRoutineFile(const QString& path);
    bool SaveRoutineFile(const QString& path);
    // Adds a step playing the file, 4 cycles at the tempo before.
    void AddStep(const QString& taalFile);
    // Plans the routine and plays it; false (after telling why) when it cannot.
    bool PlayRoutine();
    // What the status bar shows: the step and the cycles left; empty when no
    // routine plays.
    QString ProgressText() const;

    // Up and Down: the current step moves by one place.
    void MoveRow(int by);

    QTableWidget* Table() const { return m_table; }

private:
    void UpdateProgress();
    // The file as the routine writes it: relative to the Taals folder when
    // it lies inside it.
    QString StepFileText(const QString& path) const;

    CLorvantaSession& m_session;
    QString m_taalsFolder;
    QString m_routinesFolder;
    MessageSink& m_sink;
    std::function<bool()> m_beforeReplacing;
    QString m_routinePath; // the file last opened or saved
    QTableWidget* m_table = nullptr;
    QLabel* m_progress = nullptr;
    QLabel* m_statusLabel = nullptr; // in the main window's status bar
    QTimer* m_timer = nullptr;
};

} // namespace lorvanta
