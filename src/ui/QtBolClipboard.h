#pragma once

// Bols on the system clipboard: the "Lorvanta Bol" payload under the name Qt
// gives a clipboard format registered by name, so that the same bytes travel
// under the same name on every platform and between running copies.

#include "session/TaalEditor.h"
#include "persistence/BolClipboard.h"

#include <QObject>
#include <QPointer>

class QClipboard;
class QMimeData;

namespace lorvanta {

class QtBolClipboard : public QObject, public BolClipboard {
    Q_OBJECT

public:
    static constexpr const char* kMimeType = kBolClipboardMimeType;

    // The application's clipboard by default; it must outlive this object.
    explicit QtBolClipboard(QClipboard* clipboard = nullptr, QObject* parent = nullptr);

    bool Put(const std::vector<std::uint8_t>& payload) override;
    std::optional<std::vector<std::uint8_t>> Get() override;
    bool HasBols() const override;

    // Whether the clipboard still holds the data this object put there last.
    bool HoldsOwnData() const;
    // At exit: empties the clipboard only while it still holds our own bols,
    // so whatever another program put there since is left alone. Returns
    // whether it emptied it.
    bool ClearIfOwn();

signals:
    // The clipboard's content changed (Paste's enabling follows it).
    void changed();

private:
    QClipboard* m_clipboard;
    // The data we put there; the clipboard deletes it once replaced.
    QPointer<QMimeData> m_own;
};

} // namespace lorvanta
