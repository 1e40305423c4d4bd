#ifndef N_RENDERER_SLOT_H
#define N_RENDERER_SLOT_H

class nRenderer;
class nNull_Renderer;
class nTimer;

// Where the current renderer is kept, beside the null renderer that stands in when no other
// is current. The engine hub is one (it derives from this); it sits here, below the hub, so
// that a renderer makes itself current and steps back at its end without knowing the hub.
class nRendererSlot
{
public:
    nRenderer* GetRenderer() const { return m_renderer; }
    void SetRenderer(nRenderer* renderer) { m_renderer = renderer; }
    nNull_Renderer* GetNullRenderer() const { return m_nullRenderer; }  // owned by the holder
    // The holder's timer of the queue work of objects and emitters (the "Culling" line of the
    // statistics text); NULL: none.
    nTimer* GetCullingTimer() const { return m_cullingTimer; }

protected:
    nRendererSlot() : m_renderer(0), m_nullRenderer(0), m_cullingTimer(0) {}
    ~nRendererSlot() {}

    nRenderer* m_renderer;           // current renderer
    nNull_Renderer* m_nullRenderer;  // owned by the holder; may be NULL
    nTimer* m_cullingTimer;          // owned by the holder; may be NULL
};

#endif
