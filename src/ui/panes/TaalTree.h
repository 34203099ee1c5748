#pragma once

// The Taal browser: the upper left pane, a tree that lists the pre-composed
// Taal files (".tal") of the Taals folder under one root item, "All Taals".
// Double-clicking a Taal opens it; a context menu offers Open, Insert, Show
// in File Manager and Refresh.

#include <QStringList>
#include <QTreeWidget>

class QMenu;

namespace lorvanta {

class MessageSink;
struct AppSettings;
struct ShellServices;

class CTaalTree : public QTreeWidget {
    Q_OBJECT

public:
    static constexpr const char* kRootText = "All Taals";
    static constexpr const char* kOpenText = "&Open";
    static constexpr const char* kInsertText = "&Insert";
    static constexpr const char* kShowText = "&Show in File Manager";
    static constexpr const char* kRefreshText = "&Refresh";
    static constexpr const char* kOpenTip = "Open this Taal";
    static constexpr const char* kInsertTip = "Insert this Taal at current position";
    static constexpr const char* kShowTip = "Show .tal file in the file manager";
    static constexpr const char* kRefreshTip = "Refresh the list of Taals";
    static constexpr const char* kShowFailed = "Unable to show %1 in the file manager:\n\n%2";

    // The settings give the folder each refresh reads; the shell shows a file
    // in the file manager. All of them must outlive the tree. The tree is
    // filled at once.
    CTaalTree(const AppSettings& settings, const ShellServices& shell, MessageSink& sink,
              QWidget* parent = nullptr);

    // Rebuilds the tree from the Taals folder: the root, then one item per
    // file found, expanded.
    void RefreshTree();

    // Every Taal file under a folder, its subfolders searched whatever their
    // names; in each folder the entries are taken in the order of their names
    // regardless of case, a subfolder's files where the subfolder comes.
    static QStringList FindTaalFiles(const QString& folder);

    QTreeWidgetItem* RootItem() const { return topLevelItem(0); }
    const QStringList& FilePaths() const { return m_filePaths; }
    // The file an item stands for; empty for the root (which has none).
    QString PathOf(const QTreeWidgetItem* item) const;

    // Opens an item's file through the application and selects the item.
    void OpenItem(QTreeWidgetItem* item);
    // Selects the item of the file now open, or nothing when the file is not
    // listed (a new Taal, a file from elsewhere).
    void SelectFile(const QString& path);
    // The context menu of an item, which it remembers for the commands; the
    // caller owns the menu.
    QMenu* ContextMenuFor(QTreeWidgetItem* item);
    QTreeWidgetItem* RememberedItem() const { return m_menuItem; }

    // The context menu's commands, on the remembered item.
    void OnOpen();
    void OnInsert();
    void OnShowInFileManager();

signals:
    // Open: the application opens the file (setting the tempo bar) and the
    // grid becomes the active view.
    void openRequested(const QString& path);
    // Insert: the file's bols go into the Taal at the current position.
    void insertRequested(const QString& path);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const AppSettings& m_settings;
    const ShellServices& m_shell;
    MessageSink& m_sink;
    QStringList m_filePaths;
    QTreeWidgetItem* m_menuItem = nullptr;
};

} // namespace lorvanta
