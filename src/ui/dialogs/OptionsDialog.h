#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace lorvanta {

class MessageSink;
struct AppSettings;

// View > Options: the Taals folder, how the playing beat is shown, the
// strokes played (the recorded kit when the build has it, the synthesised
// kit, or a kit folder), how strokes end and how much each hit is humanised.
class COptionsDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kFolderMissing =
        "Folder %1 does not exist. Please check the name and try again.";
    static constexpr const char* kPickerTitle = "Please choose a folder.";
    // A folder under a title, starting at a folder; empty when cancelled.
    using FolderPicker =
        std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

    COptionsDialog(AppSettings& settings, MessageSink& sink, FolderPicker picker,
                   QWidget* parent = nullptr);

    // The entries of the strokes list.
    enum StrokesEntry { kStrokesRecorded, kStrokesSynthesised, kStrokesFolder };

    // Browse: a folder picked becomes the Taals folder at once, whatever
    // happens to the dialog afterwards.
    void OnBrowse();
    // The strokes' Browse…: a folder picked fills the kit folder and selects
    // it in the list.
    void OnBrowseKit();
    // OK: an existing folder, the display mode and the strokes are taken over.
    // A folder (Taals or kit) that does not exist is refused; Retry returns to
    // the dialog, Cancel closes it as OK does but changes nothing.
    void accept() override;

    QLineEdit* FolderEdit() const { return m_folderEdit; }
    QComboBox* DisplayList() const { return m_displayList; }
    QPushButton* BrowseButton() const { return m_browseButton; }
    QComboBox* StrokesList() const { return m_strokesList; }
    QLineEdit* KitFolderEdit() const { return m_kitEdit; }
    QPushButton* KitBrowseButton() const { return m_kitBrowseButton; }
    // "Sound output": Default, then these devices as listed (grouped by host
    // interface), the setting's selected; one not listed now stays offered.
    void SetSoundOutputs(const QStringList& devices);
    QComboBox* SoundOutputList() const { return m_outputList; }
    // "Ring on" (index 0) or "Cut at the next bol" (index 1).
    QComboBox* EndingsList() const { return m_endingsList; }
    QSpinBox* HumaniseSpin() const { return m_humaniseSpin; }
    // The list's index of an entry; -1 for Recorded in a build without it.
    int StrokesIndex(StrokesEntry entry) const;

private:
    AppSettings& m_settings;
    MessageSink& m_sink;
    FolderPicker m_picker;
    QLineEdit* m_folderEdit = nullptr;
    QComboBox* m_displayList = nullptr;
    QPushButton* m_browseButton = nullptr;
    QComboBox* m_strokesList = nullptr;
    QLineEdit* m_kitEdit = nullptr;
    QPushButton* m_kitBrowseButton = nullptr;
    QComboBox* m_outputList = nullptr;
    QComboBox* m_endingsList = nullptr;
    QSpinBox* m_humaniseSpin = nullptr;

    // Whether a folder exists; else asks and returns false (closing the dialog
    // unchanged on Cancel).
    bool FolderUsable(const QString& folder, QLineEdit* edit);
    void UpdateKitControls();
};

} // namespace lorvanta
