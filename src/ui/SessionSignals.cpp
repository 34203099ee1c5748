#include "ui/SessionSignals.h"

#include <utility>

namespace lorvanta {

SessionSignals::SessionSignals(CLorvantaSession& session, QObject* parent)
    : QObject(parent), m_session(session) {
    m_session.Editor().AddObserver(*this);
    m_session.AddObserver(*this);
}

SessionSignals::~SessionSignals() {
    m_session.RemoveObserver(*this);
    m_session.Editor().RemoveObserver(*this);
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
