#include "app/WindowSettings.h"

#include "app/AppSettings.h"

#include <QSettings>

namespace lorvanta {

WindowSettings ReadWindowSettings() {
    WindowSettings settings;
    const auto store = OpenUserSettings();
    if (store->status() != QSettings::NoError)
        return settings;
    const auto bytes = [&store](const char* key) {
        return store->value(QString::fromLatin1(key)).toByteArray();
    };
    settings.windowState = bytes(kWindowStateValue);
    settings.outerPanes = bytes(kOuterPanesValue);
    settings.leftPanes = bytes(kLeftPanesValue);
    settings.rightPanes = bytes(kRightPanesValue);
    bool ok = false;
    const int zoom = store->value(QString::fromLatin1(kGridZoomValue)).toInt(&ok);
    if (ok && (zoom == 0 || (zoom >= 50 && zoom <= 300)))
        settings.gridZoomPercent = zoom;
    settings.countIn =
        store->value(QString::fromLatin1(kCountInValue)).toString() == QStringLiteral("on");
    const int beats = store->value(QString::fromLatin1(kCountInBeatsValue)).toInt(&ok);
    if (ok && beats >= 1 && beats <= kMaxCountInBeats)
        settings.countInBeats = beats;
    return settings;
}

void WriteWindowSettings(const WindowSettings& settings) {
    const auto store = OpenUserSettings();
    store->setValue(QString::fromLatin1(kWindowStateValue), settings.windowState);
    store->setValue(QString::fromLatin1(kOuterPanesValue), settings.outerPanes);
    store->setValue(QString::fromLatin1(kLeftPanesValue), settings.leftPanes);
    store->setValue(QString::fromLatin1(kRightPanesValue), settings.rightPanes);
    store->setValue(QString::fromLatin1(kGridZoomValue), settings.gridZoomPercent);
    store->setValue(QString::fromLatin1(kCountInValue),
                    settings.countIn ? QStringLiteral("on") : QStringLiteral("off"));
    store->setValue(QString::fromLatin1(kCountInBeatsValue), settings.countInBeats);
    store->sync();
}

} // namespace lorvanta
