#ifndef N_SHADER_H
#define N_SHADER_H

#include "core/nSharedObject.h"
#include "core/nString.h"

class nRenderer;

// A named program made by a renderer (nRenderer::NewShader) from a vertex and a pixel text.
// Reference counted: the shader library and the renderer's tables hold it.
//
// A shader remembers whether its last Compile succeeded: one that failed stays where it was
// put (the library still finds it by name) but answers IsCompiled() false, and drawers skip it.
class nShader : public nSharedObject
{
public:
    explicit nShader(nRenderer* renderer) : m_renderer(renderer), m_compiled(false) {}
    ~nShader() override {}

    // Keeps the name; the base has no device and succeeds. A renderer's program compiles and
    // links the texts and answers false (one log line) when either step fails.
    virtual bool Compile(const char* name, const char* vertex, const char* pixel);
    // Frees the device objects; the base has none. Not named Release: that name is the
    // reference count's, which holders (nSharedPtr) call to let the shader go.
    virtual void ReleaseDevice() {}

    const nString& GetName() const { return m_name; }
    nRenderer* GetRenderer() const { return m_renderer; }
    bool IsCompiled() const { return m_compiled; }

protected:
    nRenderer* m_renderer;
    nString m_name;
    bool m_compiled;  // the last Compile succeeded
};

#endif
