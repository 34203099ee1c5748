#include "ui/panes/TaalTree.h"

#include "model/Messages.h"
#include "model/Text.h"
#include "ui/Services.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QSet>
#include <QStyle>

#include <algorithm>

namespace lorvanta {

namespace {

// An item's index into the file paths.
constexpr int kPathRole = Qt::UserRole;

void CollectTaalFiles(const QString& folder, QStringList& files, QSet<QString>& visited) {
    const QDir dir(folder);
    // A folder reached twice (through a link) is searched once.
    const QString canonical = dir.canonicalPath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return;
    visited.insert(canonical);

    QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    std::stable_sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().toUpper().compare(b.fileName().toUpper());
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    for (const QFileInfo& entry : entries) {
        if (entry.isDir())
            CollectTaalFiles(entry.filePath(), files, visited);
        else if (entry.fileName().endsWith(QString::fromLatin1(kTaalExtension),
                                           Qt::CaseInsensitive))
            files.append(entry.absoluteFilePath());
    }
}

} // namespace

CTaalTree::CTaalTree(const AppSettings& settings, const ShellServices& shell, MessageSink& sink,
                     QWidget* parent)
    : QTreeWidget(parent), m_settings(settings), m_shell(shell), m_sink(sink) {
    setObjectName(QStringLiteral("TaalTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    // Double-clicking opens the Taal; it never renames one.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    RefreshTree();
}

QStringList CTaalTree::FindTaalFiles(const QString& folder) {
    QStringList files;
    QSet<QString> visited;
    if (!folder.isEmpty())
        CollectTaalFiles(folder, files, visited);
    return files;
}

void CTaalTree::RefreshTree() {
    m_menuItem = nullptr;
    clear();
    m_filePaths.clear();

    auto* root = new QTreeWidgetItem(this, QStringList(QString::fromLatin1(kRootText)));
    m_filePaths = FindTaalFiles(m_settings.taalsFolder);
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (qsizetype i = 0; i < m_filePaths.size(); ++i) {
        const QString title = QFileInfo(m_filePaths.at(i)).fileName().chopped(4);
        auto* item = new QTreeWidgetItem(root, QStringList(title));
        item->setIcon(0, icon);
        item->setData(0, kPathRole, static_cast<int>(i));
        item->setToolTip(0, QDir::toNativeSeparators(m_filePaths.at(i)));
    }
    root->setExpanded(true);
}

QString CTaalTree::PathOf(const QTreeWidgetItem* item) const {
    if (!item)
        return {};
    const QVariant value = item->data(0, kPathRole);
    bool ok = false;
    const int index = value.toInt(&ok);
    if (!value.isValid() || !ok || index < 0 || index >= m_filePaths.size())
        return {};
    return m_filePaths.at(index);
}

void CTaalTree::OpenItem(QTreeWidgetItem* item) {
    const QString path = PathOf(item);
    if (path.isEmpty())
        return;
    setCurrentItem(item);
    emit openRequested(path);
}

QMenu* CTaalTree::ContextMenuFor(QTreeWidgetItem* item) {
    m_menuItem = item;
    auto* menu = new QMenu(this);
    const auto add = [this, menu](const char* text, const char* tip, void (CTaalTree::*handler)()) {
        QAction* action = menu->addAction(tr(text));
        action->setStatusTip(tr(tip));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    menu->setDefaultAction(add(kOpenText, kOpenTip, &CTaalTree::OnOpen));
    add(kInsertText, kInsertTip, &CTaalTree::OnInsert);
    add(kShowText, kShowTip, &CTaalTree::OnShowInFileManager);
    add(kRefreshText, kRefreshTip, &CTaalTree::RefreshTree);
    return menu;
}

void CTaalTree::OnOpen() {
    OpenItem(m_menuItem);
}

void CTaalTree::OnInsert() {
    const QString path = PathOf(m_menuItem);
    if (!path.isEmpty())
        emit insertRequested(path);
}

void CTaalTree::OnShowInFileManager() {
    const QString path = PathOf(m_menuItem);
    if (path.isEmpty() || !m_shell.showInFileManager)
        return;
    if (const std::optional<QString> error = m_shell.showInFileManager(path)) {
        m_sink.Show(
            {MessageKind::Warning,
             FormatMessage(kShowFailed, ShownName(QDir::toNativeSeparators(path).toStdString()),
                           error->toStdString())});
    }
}

void CTaalTree::mouseDoubleClickEvent(QMouseEvent* event) {
    // The tree's own handling first: it expands or collapses the root.
    QTreeWidget::mouseDoubleClickEvent(event);
    const QPoint point = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(point);
    if (item && visualItemRect(item).contains(point))
        OpenItem(item);
}

void CTaalTree::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(event->pos());
    if (!item)
        return;
    QMenu* menu = ContextMenuFor(item);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace lorvanta
