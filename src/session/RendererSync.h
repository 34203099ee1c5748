#pragma once

// Keeps the renderer's cells (each bol's rendered block) and its emphasis
// ceiling in step with the editor's Taal. Within a long operation, more than
// a few bols inserted or removed are rendered once, all together, at its end.

#include "session/EditorObserver.h"

namespace lorvanta {

class CTaalRenderer;

class RendererSync : public EditorObserver {
public:
    explicit RendererSync(CTaalRenderer& renderer) : m_renderer(renderer) {}

    void OnBolsInserted(int first, int count) override;
    void OnBolsRemoved(int first, int count) override;
    void OnBolsChanged(int first, int count) override;
    void OnTaalReplaced(TaalReplacement why) override;
    void OnLongOperationStarted() override { ++m_depth; }
    void OnLongOperationEnded() override;

private:
    // Whether this change waits for the end of the long operation.
    bool Deferred(int count);

    CTaalRenderer& m_renderer;
    int m_depth = 0;
    int m_changedInOperation = 0;
    bool m_renderAllAtEnd = false;
};

} // namespace lorvanta
