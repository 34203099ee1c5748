#pragma once

#include <QString>
#include <QStringList>

class QSettings;

namespace lorvanta {

// The File menu's list of the files opened or saved last, newest first.
class CRecentFileList {
public:
    static constexpr int kSize = 4;
    // Subgroup and value names of the list in the application's store.
    static constexpr const char* kSection = "Recent File List";
    static constexpr const char* kEntryFormat = "File%1";

    // Reads the list from the application's store (see AppSettings).
    void Load();
    // Writes it back; called after every change so that a crash loses nothing.
    void Save() const;

    // Puts a file at the top; a file already listed moves up, the oldest drops.
    void Add(const QString& path);
    void Remove(int index);

    const QStringList& Files() const { return m_files; }
    bool IsEmpty() const { return m_files.isEmpty(); }
    // The menu text of entry index: "&1 path" with any "&" of the path doubled.
    QString MenuText(int index) const;

private:
    void Load(QSettings& store);
    void Save(QSettings& store) const;

    QStringList m_files;
};

} // namespace lorvanta
