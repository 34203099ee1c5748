// The Edit menu's commands, File > Save Sound and File > Merge Taal: the
// main window's actions drive the grid's editor, and the dialogs some of them
// need are shown here first.
#include "app/MainFrame.h"
#include "app/MergeTaal.h"
#include "app/ShellServices.h"
#include "app/SoundExport.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/Vibhags.h"
#include "session/TaalEditor.h"
#include "ui/QtBolClipboard.h"
#include "ui/dialogs/TaalPropertiesDialog.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QStatusBar>

#include <functional>

namespace lorvanta {

void CMainFrame::ConnectEditCommands() {
    auto on = [this](int id, std::function<void(CTaalEditor&)> handler) {
        connect(m_commands->Action(id), &QAction::triggered, this, [this, handler] {
            handler(m_session.Editor());
            UpdateCommandUI();
        });
    };
    // The edits that add bols or change durations say why they were refused.
    auto edit = [this, on](int id, std::function<LimitStatus(CTaalEditor&)> command) {
        on(id, [this, command](CTaalEditor& editor) {
            if (const auto message = LimitMessage(command(editor)))
                m_sink.Show(*message);
        });
    };
    on(kCmdEditUndo, &CTaalEditor::Undo);
    on(kCmdEditRedo, &CTaalEditor::Redo);
    on(kCmdEditCut, &CTaalEditor::Cut);
    on(kCmdEditCopy, &CTaalEditor::Copy);
    edit(kCmdEditPaste, &CTaalEditor::Paste);
    on(kCmdEditDelete, &CTaalEditor::Delete);
    on(kCmdEditSelectAll, &CTaalEditor::SelectAll);
    on(kCmdEditClearAll, &CTaalEditor::ClearAll);
    edit(kCmdExpandDouble, [](CTaalEditor& editor) { return editor.ExpandSelected(2.0f); });
    edit(kCmdExpandHalf, [](CTaalEditor& editor) { return editor.ExpandSelected(0.5f); });
    edit(kCmdExpandCustom, [this](CTaalEditor& editor) {
        CExpandDlg dialog(m_sink, this);
        return dialog.exec() == QDialog::Accepted ? editor.ExpandSelected(dialog.Multiplier())
                                                  : LimitStatus::Ok;
    });
    edit(kCmdEditInsert, &CTaalEditor::Insert);
    edit(kCmdEditAppend, &CTaalEditor::Append);
    on(kCmdTaalProperties, [this](CTaalEditor& editor) {
        CTaalProperties dialog(QString::fromStdString(m_doc.Taal().Name()), m_doc.DefaultTempo(),
                               m_sink, this);
        const float length = m_doc.Taal().Total();
        dialog.SetVibhags(VibhagsToShow(m_doc.Params(), length), length);
        if (dialog.exec() == QDialog::Accepted)
            editor.SetTaalProperties(dialog.Name().toStdString(), dialog.Tempo(), dialog.Vibhags());
    });
    on(kCmdFileSaveSound, [this](CTaalEditor&) {
        // The status bar says what was written.
        QString written;
        std::uint32_t rate = 0;
        if (SaveSound(m_doc, m_session.Renderer(), m_sink, m_shell.chooseSoundFile, this, &written,
                      &rate))
            statusBar()->showMessage(SavedSoundMessage(written, m_session.Renderer(), rate));
    });
    on(kCmdFileMergeTaal, [this](CTaalEditor& editor) {
        MergeTaal(editor, m_sink,
                  m_shell.chooseMergeFile ? m_shell.chooseMergeFile : m_shell.chooseOpenFile, this);
    });

    // The Taal browser's Insert merges the file it names.
    connect(m_treeView, &CTaalTree::insertRequested, this, [this](const QString& path) {
        MergeTaalFile(m_session.Editor(), m_sink, path);
        UpdateCommandUI();
    });
    // Paste follows what the clipboard offers, whoever changed it.
    connect(m_clipboard, &QtBolClipboard::changed, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::UpdateEditCommandUI() {
    const CTaalEditor& editor = m_session.Editor();
    const auto enable = [this](int id, bool enabled) {
        m_commands->Action(id)->setEnabled(enabled);
    };
    enable(kCmdEditUndo, editor.CanUndo());
    enable(kCmdEditRedo, editor.CanRedo());
    for (int id : {kCmdEditCut, kCmdEditCopy, kCmdEditDelete, kCmdExpandHalf, kCmdExpandCustom})
        enable(id, editor.CanDelete());
    enable(kCmdEditPaste, editor.CanPaste());
    enable(kCmdEditSelectAll, editor.CanSelectAll());
    enable(kCmdEditClearAll, editor.CanSelectAll());
    enable(kCmdExpandDouble, editor.CanExpandDouble());
    enable(kCmdEditInsert, editor.CanInsert());
    enable(kCmdEditAppend, true);
    enable(kCmdTaalProperties, true);
    enable(kCmdFileSaveSound, CanSaveSound(m_doc));
    enable(kCmdFileMergeTaal, true);
}

} // namespace lorvanta
