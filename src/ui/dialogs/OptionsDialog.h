#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace lorvanta {

class MessageSink;
struct AppSettings;

// View > Options: the Taals folder and how the playing beat is shown.
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

    // Browse: a folder picked becomes the Taals folder at once, whatever
    // happens to the dialog afterwards.
    void OnBrowse();
    // OK: an existing folder and the display mode are taken over. A folder
    // that does not exist is refused; Retry returns to the dialog, Cancel
    // closes it as OK does but changes nothing.
    void accept() override;

    QLineEdit* FolderEdit() const { return m_folderEdit; }
    QComboBox* DisplayList() const { return m_displayList; }
    QPushButton* BrowseButton() const { return m_browseButton; }

private:
    AppSettings& m_settings;
    MessageSink& m_sink;
    FolderPicker m_picker;
    QLineEdit* m_folderEdit = nullptr;
    QComboBox* m_displayList = nullptr;
    QPushButton* m_browseButton = nullptr;
};

} // namespace lorvanta
