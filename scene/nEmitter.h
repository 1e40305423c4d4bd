#ifndef N_EMITTER_H
#define N_EMITTER_H

#include <cstdint>

#include "core/nBounds.h"
#include "core/nPairSort.h"
#include "core/nSharedObject.h"
#include "core/nVector.h"
#include "render/nRenderQueue.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nParticleModel.h"

class nMetaFile;
class nMetaTag;
class nScene;

// One slot of an emitter's pool; alive while its age is not negative (a free slot holds -1).
struct nParticle
{
    float age;
    nVector position;  // world, w 1
    nVector velocity;  // world units per second, w 1
    float size;        // half-extent: the size curve times the birth size scale
    float angle;       // radians
    float red, green, blue;
    float opacity;  // the opacity curve times the birth opacity scale
    float birthOpacityScale;
    float birthSizeScale;

    nParticle() : age(-1.0f), size(0), angle(0), red(0), green(0), blue(0), opacity(0),
                  birthOpacityScale(1.0f), birthSizeScale(1.0f) {}
    bool IsAlive() const { return age >= 0.0f; }
};

enum nEmitterType
{
    EmitterTypeSpray = 0  // a cone about the emitter's Z axis, the only type
};

// A scene item that owns a fixed pool of particles: it spawns them at its birth rate in a cone
// about its own Z axis, ages them along its particle model's curves, keeps the live ones sorted
// by depth for drawing and queues itself as one primitive. An emitter outside every view is
// frozen: a step only runs after the emitter was queued for drawing since the last one.
//
// Invariant: the pool and the depth-sort array exist together, with pool size entries each;
// only AllocatePool (re)builds them. The accumulator of particles owed never exceeds the pool
// size, so a pool that stayed full does not owe an unbounded burst.
class nEmitter : public nItem, public nRenderable
{
public:
    static const uint32_t kMaxPoolSize = 1u << 16;  // particles; larger or non-positive sizes are refused

    explicit nEmitter(nOrvex* engine);  // pool size 500, rate 100, speeds 1 to 1.5, spray pi/4; no pool, no model
    ~nEmitter() override;               // frees the pool, releases the model

    void SetParticleModel(nParticleModel* model);  // counted; the pool is kept
    nParticleModel* GetParticleModel() const { return m_model.Get(); }

    bool AllocatePool();  // drops every particle; false without a model (silent) or memory (logged)
    void FreePool();
    void Update(float dt);                                   // spawn and age; nothing without a pool or unless drawn since the last step
    void SortParticlesByDepth(const nMatrix4& cameraWorld);  // live particles by depth along the camera's Z, only while drawn
    uint32_t GetSortedCount() const { return m_pool ? m_sortedCount : 0; }
    const nParticle* GetSortedParticle(uint32_t k) const;  // k = 0 is the farthest; NULL without a pool or past the count

    void GetWorldMinMax(nMinMax& out) const override;  // the world position merged with the particles of the last sort
    nRenderable* GetRenderable() override { return this; }
    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override;

    void SetSpray(float angle)
    {
        m_type = EmitterTypeSpray;
        m_sprayAngle = angle;
    }
    bool SetPoolSize(int64_t size);  // for the next AllocatePool; false (logged, unchanged) outside 1..kMaxPoolSize

    // The birth scales (a factor on the rate; copied into new particles; a factor on their speed).
    void SetBirthRateScale(float scale) { m_birthRateScale = scale; }
    void SetBirthOpacityScale(float scale) { m_birthOpacityScale = scale; }
    void SetBirthSpeedScale(float scale) { m_birthSpeedScale = scale; }
    void SetBirthSizeScale(float scale) { m_birthSizeScale = scale; }

    // "Emitter" NML.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    // Read by the renderer, the scripts and the tests.
    uint32_t GetPoolSize() const { return m_poolSize; }
    const nParticle* GetPool() const { return m_pool; }
    nParticle* GetPool() { return m_pool; }  // for tools that place particles
    bool IsDrawn() const { return m_drawn != 0; }
    float GetClock() const { return m_clock; }
    float GetAccumulator() const { return m_accumulator; }

    int32_t m_type;
    float m_birthRate;
    float m_speedMin;
    float m_speedMax;
    float m_sprayAngle;
    float m_birthRateScale;
    float m_birthOpacityScale;
    float m_birthSpeedScale;
    float m_birthSizeScale;

private:
    void SpawnParticle(nParticle& particle);
    void AgeParticle(nParticle& particle, float dt, float damping);

    uint32_t m_poolSize;
    nSharedPtr<nParticleModel> m_model;
    nParticle* m_pool;
    uint32_t m_sortedCount;
    uint8_t m_drawn;
    float m_clock;
    float m_accumulator;
    nKeyValuePair* m_sorted;
};

// The managed emitter (kind 5, priority 1).
class nMEmitter : public nMItem
{
public:
    explicit nMEmitter(nScene* scene);
    ~nMEmitter() override;

    void Evaluate() override;  // one step of the engine's frame time
    void UpdateTransform() override;
    void Setup() override;  // allocates the pool, then the managed set-up

    // "MEmitter" NML: the "MItem" tag and the "Emitter" tag.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);

    nEmitter& GetEmitter() { return m_emitter; }

private:
    nEmitter m_emitter;
};

#endif
