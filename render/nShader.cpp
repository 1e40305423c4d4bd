#include "render/nShader.h"

bool nShader::Compile(const char* name, const char* vertex, const char* pixel)
{
    m_name.Set(name);
    m_compiled = true;
    return true;
}
