#include "hub/nOrvex.h"

#include <cstdint>
#include <cstdio>

#include "core/nMetaFile.h"
#include "core/nVariant.h"
#include "render/nRenderer.h"

namespace {

enum ConfigWord
{
    SystemWord,
    ControlWord
};

struct RendererSwitch
{
    const char* key;
    ConfigWord word;
    uint32_t bit;
};

// The renderer keys of "engine.cfg", in the order they are applied.
const RendererSwitch kRendererSwitches[] = {
    {"EnableDebug", SystemWord, RendererSystemEnableDebug},
    {"Antialiasing", SystemWord, RendererSystemAntialiasing},
    {"DisableShader", SystemWord, RendererSystemDisableShader},
    {"DisableMultipleRenderTarget", SystemWord, RendererSystemDisableMultipleRenderTarget},
    {"UseFloatTarget", SystemWord, RendererSystemUseFloatTarget},
    {"OptimizeVideoRam", SystemWord, RendererSystemOptimizeVideoRam},
    {"TextureForceTrueColor", SystemWord, RendererSystemTextureForceTrueColor},
    {"TextureNoCompression", SystemWord, RendererSystemTextureNoCompression},
    {"TextureNoDownscale", SystemWord, RendererSystemTextureNoDownscale},
    {"TextureForceSquare", SystemWord, RendererSystemTextureForceSquare},
    {"Bloom", ControlWord, RendererControlBloom},
    {"Exposure", ControlWord, RendererControlExposure},
    {"MotionBlur", ControlWord, RendererControlMotionBlur},
    {"LinearShadow", ControlWord, RendererControlLinearShadow},
    {"DepthOfField", ControlWord, RendererControlDepthOfField},
    {"AmbientOcclusion", ControlWord, RendererControlAmbientOcclusion},
    {"ShadowMapping", ControlWord, RendererControlShadowMapping},
    {"FramebufferAsTexture", ControlWord, RendererControlFramebufferAsTexture},
    {"LowResolutionFx", ControlWord, RendererControlLowResolutionFx},
};

// The path of a root-level key.
void KeyPath(char* out, size_t size, const char* key)
{
    snprintf(out, size, "%s;", key);
}

}

bool nOrvex::LoadConfig(const char* path, nMetaFile* tree)
{
    nMetaFile loaded;
    if (!tree) {
        if (!loaded.Load(path)) return false;
        tree = &loaded;
    }
    char keyPath[64];
    for (const RendererSwitch& s : kRendererSwitches) {
        KeyPath(keyPath, sizeof keyPath, s.key);
        bool on = tree->GetBool(keyPath, false);
        if (!m_renderer) continue;
        if (s.word == SystemWord) m_renderer->SetSystemFlag(s.bit, on);
        else m_renderer->SetControlFlag(s.bit, on);
    }
    g_debugChannel = tree->GetInt("DebugChannel;", -1);
    return true;
}
