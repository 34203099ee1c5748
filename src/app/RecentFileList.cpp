#include "app/RecentFileList.h"

#include "app/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace lorvanta {

namespace {

// The same file, however the path was spelt.
bool SameFile(const QString& a, const QString& b) {
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

} // namespace

void CRecentFileList::Load() {
    Load(*OpenApplicationSettings());
}

void CRecentFileList::Save() const {
    const auto store = OpenApplicationSettings();
    Save(*store);
    store->sync();
}

void CRecentFileList::Load(QSettings& store) {
    m_files.clear();
    store.beginGroup(QString::fromLatin1(kSection));
    for (int i = 1; i <= kSize; ++i) {
        const QString path = store.value(QString::fromLatin1(kEntryFormat).arg(i)).toString();
        if (!path.isEmpty())
            m_files.append(path);
    }
    store.endGroup();
}

void CRecentFileList::Save(QSettings& store) const {
    store.beginGroup(QString::fromLatin1(kSection));
    for (int i = 1; i <= kSize; ++i) {
        const QString key = QString::fromLatin1(kEntryFormat).arg(i);
        if (i <= m_files.size())
            store.setValue(key, m_files.at(i - 1));
        else
            store.remove(key);
    }
    store.endGroup();
}

void CRecentFileList::Add(const QString& path) {
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (SameFile(m_files.at(i), path)) {
            m_files.removeAt(i);
            break;
        }
    }
    m_files.prepend(path);
    while (m_files.size() > kSize)
        m_files.removeLast();
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < m_files.size())
        m_files.removeAt(index);
}

QString CRecentFileList::MenuText(int index) const {
    QString path = QDir::toNativeSeparators(m_files.value(index));
    path.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(path);
}

} // namespace lorvanta
