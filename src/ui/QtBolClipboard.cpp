#include "ui/QtBolClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace lorvanta {

QtBolClipboard::QtBolClipboard(QClipboard* clipboard, QObject* parent)
    : QObject(parent), m_clipboard(clipboard ? clipboard : QGuiApplication::clipboard()) {
    if (m_clipboard)
        connect(m_clipboard, &QClipboard::dataChanged, this, &QtBolClipboard::changed);
}

bool QtBolClipboard::Put(const std::vector<std::uint8_t>& payload) {
    if (!m_clipboard)
        return false;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kMimeType),
                  QByteArray(reinterpret_cast<const char*>(payload.data()),
                             static_cast<qsizetype>(payload.size())));
    // The clipboard owns the data from here on.
    m_clipboard->setMimeData(data);
    m_own = data;
    return true;
}

std::optional<std::vector<std::uint8_t>> QtBolClipboard::Get() {
    if (!m_clipboard)
        return std::nullopt;
    const QMimeData* data = m_clipboard->mimeData();
    const QString type = QString::fromLatin1(kMimeType);
    if (!data || !data->hasFormat(type))
        return std::nullopt;
    const QByteArray bytes = data->data(type);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool QtBolClipboard::HasBols() const {
    if (!m_clipboard)
        return false;
    const QMimeData* data = m_clipboard->mimeData();
    return data && data->hasFormat(QString::fromLatin1(kMimeType));
}

bool QtBolClipboard::HoldsOwnData() const {
    // Replaced data is deleted (the pointer goes null), and data of another
    // owner is a different object.
    return m_clipboard && m_own && m_clipboard->mimeData() == m_own.data();
}

bool QtBolClipboard::ClearIfOwn() {
    if (!HoldsOwnData())
        return false;
    m_clipboard->clear();
    m_own.clear();
    return true;
}

} // namespace lorvanta
