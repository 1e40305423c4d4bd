#ifndef N_PARTICLEMODEL_H
#define N_PARTICLEMODEL_H

#include "core/nMetaObject.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "resources/nMaterial.h"
#include "scene/nCurve.h"

class nMetaFile;
class nMetaTag;
class nOrvex;

// How the particles of an emitter live: their time to live, how they fall and slow down, and
// how size, rotation, colour and opacity change over their age. Shared by name through the
// engine's resource cache (LoadParticleModel); every emitter using one holds a reference.
class nParticleModel : public nSharedObject, public nMetaObject
{
public:
    explicit nParticleModel(nOrvex* engine);  // TTL 4, damping 1, no gravity; keyless curves: angle 0, the others 1

    // "ParticleModel" NML. Reading names the model after the document's file and gives the
    // material vertex colours; TTL and Damping take floats or integers.
    bool Deserialize(nMetaFile* document, nMetaTag* root) override;
    nMetaTag* Serialize(nMetaFile* document) override;  // NULL (logged) when the root cannot be made

    void SetColor(const nVector& colour);                 // default values of red, green, blue, opacity
    void AddColorKey(float time, const nVector& colour);  // one linear key on each of the four

    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    nMaterial& GetMaterial() { return m_material; }

    nString m_name;
    nMaterial m_material;
    float m_timeToLive;
    float m_damping;
    nVector m_gravity;
    nCurve m_angle;
    nCurve m_size;
    nCurve m_red;
    nCurve m_green;
    nCurve m_blue;
    nCurve m_opacity;
};

// The engine's particle model of that file name, from the current resource cache or loaded and
// set up (and cached unless bypass). A file that does not load still gives a model with its
// defaults, cached like any other; NULL for a NULL name or when out of memory.
nParticleModel* LoadParticleModel(nOrvex* engine, const char* name, bool bypass);

#endif
