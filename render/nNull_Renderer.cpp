#include "render/nNull_Renderer.h"

bool nNull_Renderer::Open(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    SetOutputSize((float)width, (float)height);
    SetOpenState(true);
    return true;
}

bool nNull_Renderer::Resize(int32_t width, int32_t height)
{
    SetOutputSize((float)width, (float)height);
    return true;
}
