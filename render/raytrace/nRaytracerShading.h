#ifndef N_RAYTRACERSHADING_H
#define N_RAYTRACERSHADING_H

// The values of materials at raytraced hits, computed on the CPU from the same render maps and
// texture stages the OpenGL renderer draws with. Each block kind gives what its generated GLSL
// gives; kinds that only exist on the GPU (skinning, tangent frame, render buffer, screen UV,
// viewport) give nothing. The members allocate nothing and change nothing, so hits on many
// threads may be shaded at once (the items' matrices must be up to date before).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/nVector.h"
#include "render/raytrace/nRaytraceHit.h"

class nOrvex;
class nCamera;
class nGeometry;
class nMaterial;
class nPicture;
class nShaderBlock;
class nTexture;

class nRaytracerShading
{
public:
    explicit nRaytracerShading(nOrvex* engine);  // NULL: the Clock block reads 0
    ~nRaytracerShading();
    nRaytracerShading(const nRaytracerShading&) = delete;
    nRaytracerShading& operator=(const nRaytracerShading&) = delete;

    // The camera the raytracer views through and the size of its picture: a sphere-mapped stage
    // reads the normal in the camera's space, a front-mapped one the hit's place on the screen.
    // Without a camera both read (0, 0). Call on the main thread: the camera's matrices are
    // brought up to date here.
    void SetView(nCamera* camera, int32_t outputWidth, int32_t outputHeight);
    // The pixels of the textures the geometries' materials sample (stages and Texture blocks).
    // A texture whose pixels the renderer let go once it had uploaded them is read again from its
    // file into a copy of the shading's own, kept while later calls still find the texture under
    // the same name; a texture the file cannot give back samples as a texture without pixels,
    // with one line. Call on the main thread before hits are shaded.
    void PrepareTextures(nGeometry* const* geometries, int32_t count);
    const nPicture* GetTexels(const nTexture* texture) const;  // the copy, or the texture itself

    // Evaluates block and its inputs at hit into out. NULL gives true with out untouched; a kind
    // that gives nothing leaves out as it was and still gives true. A graph deeper than 256
    // blocks, or one whose shared blocks would be evaluated more than 65536 times in all, gives
    // false (logged once per shading object).
    bool EvaluateShaderBlock(const nRaytraceHit& hit, const nShaderBlock* block, ShaderValue& out) const;
    // The vector of the material's render-map root of channel (RenderMapChannel), or the
    // material's default for the channel when there is no such root: Normal (0, 0, 1, 1), Diffuse
    // and Specular their colours, Modulate (1, 1, 1, 1), Glossiness (glossiness, 0, 0, 1),
    // Constant (0, 0, 0, 1), Opacity (1, 0, 0, 1), any other (-1, -1, -1, -1).
    nVector GetMaterialChannel(const nRaytraceHit& hit, int32_t channel) const;
    // RGBA in 0..1 of the texture stage on a material channel (nMaterialChannel), or the colour of
    // the channel when no stage is used: Diffuse, Specular and Self-illumination their colours,
    // any other (1, 1, 1, 1).
    nVector GetStageColor(const nRaytraceHit& hit, int32_t channel) const;
    float GetOpacity(const nRaytraceHit& hit) const;           // the material's opacity times its Opacity stage
    nVector GetHitNormal(const nRaytraceHit& hit) const;       // unit length, object space, normal map applied
    nVector GetHitVertexColor(const nRaytraceHit& hit) const;  // interpolated, all four components; white without colours

private:
    bool Evaluate(const nRaytraceHit& hit, const nShaderBlock* block, ShaderValue& out, int32_t depth,
                  int32_t* budget) const;
    bool TooLarge(int32_t depth, int32_t budget) const;  // logs the first time it is true
    void PrepareTexture(const nTexture* texture);

    struct TexelCopy
    {
        std::string name;                  // the texture's name when read
        std::unique_ptr<nPicture> pixels;  // NULL when the file could not be read
        bool seen;                         // used by the current preparation
    };

    nOrvex* m_engine;
    nCamera* m_camera;
    int32_t m_outputWidth, m_outputHeight;
    mutable std::atomic<bool> m_reportedTooLarge;
    std::unordered_map<const nTexture*, TexelCopy> m_texels;
};

#endif
