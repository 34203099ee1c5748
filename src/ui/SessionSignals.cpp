#include "ui/SessionSignals.h"

#include <utility>

namespace lorvanta {

SessionSignals::SessionSignals(CLorvantaSession& session, QObject* parent)
    : QObject(parent), m_session(session), m_editorSubscription(session.Editor().Subscribe(*this)),
      m_sessionSubscription(session.Subscribe(*this)) {
    // Called on the lehra's worker thread: the news is taken here, queued.
    const auto take = [this] { m_session.TakeLehraNews(); };
    m_session.SetLehraNewsHandler(
        [this, take] { QMetaObject::invokeMethod(this, take, Qt::QueuedConnection); });
    // What came before the handler.
    QMetaObject::invokeMethod(this, take, Qt::QueuedConnection);
}

SessionSignals::~SessionSignals() {
    m_session.SetLehraNewsHandler({});
}

void SessionSignals::Changed() {
    if (m_longOperations > 0)
        m_changedDuringOperation = true;
    else
        emit stateChanged();
}

void SessionSignals::OnTaalPropertiesChanged() {
    emit taalPropertiesChanged();
    Changed();
}

void SessionSignals::OnTaalReplaced(TaalReplacement) {
    Changed();
}

void SessionSignals::OnLongOperationEnded() {
    if (--m_longOperations == 0 && std::exchange(m_changedDuringOperation, false))
        emit stateChanged();
}

} // namespace lorvanta
