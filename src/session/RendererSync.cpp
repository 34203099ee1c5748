#include "session/RendererSync.h"

#include "audio/TaalRenderer.h"

namespace lorvanta {

namespace {
// More bols than this inserted or removed in one long operation are rendered
// all at once at its end: one pass instead of shifting the cells bol by bol.
constexpr int kBolByBolLimit = 8;
} // namespace

bool RendererSync::Deferred(int count) {
    if (m_depth == 0)
        return false;
    m_changedInOperation += count;
    if (m_changedInOperation > kBolByBolLimit)
        m_renderAllAtEnd = true;
    return m_renderAllAtEnd;
}

void RendererSync::OnBolsInserted(int first, int count) {
    if (Deferred(count))
        return;
    for (int k = 0; k < count; ++k)
        m_renderer.InsertBolView(first + k - 1);
}

void RendererSync::OnBolsRemoved(int first, int count) {
    if (Deferred(count))
        return;
    for (int k = 0; k < count; ++k)
        m_renderer.RemoveBolView(first);
}

void RendererSync::OnBolsChanged(int first, int count) {
    if (!m_renderAllAtEnd)
        m_renderer.RenderChangedBols(first, count);
}

void RendererSync::OnTaalReplaced(TaalReplacement why) {
    if (why == TaalReplacement::Document)
        m_renderer.InitialUpdate(); // shows its own failure
    else
        m_renderer.RenderAllBols(); // an empty Taal drops the cells and the ceiling
}

void RendererSync::OnLongOperationEnded() {
    if (--m_depth > 0)
        return;
    if (m_renderAllAtEnd)
        m_renderer.RenderAllBols();
    m_renderAllAtEnd = false;
    m_changedInOperation = 0;
}

} // namespace lorvanta
