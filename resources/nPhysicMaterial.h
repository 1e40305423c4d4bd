#ifndef N_PHYSICMATERIAL_H
#define N_PHYSICMATERIAL_H

class nMetaFile;
class nMetaTag;

// Physical surface properties of a material, stored as its "PhysicMaterial" NML tag.
class nPhysicMaterial
{
public:
    float mass;             // 1.0
    float dynamicFriction;  // 0.5
    float staticFriction;   // 0.75
    float restitution;      // 0.1
    float damping;          // 0.99
    float stiffness;        // 1.0
    float torsion;          // 1.0; stored in NML as a flag: 0 or 1

    nPhysicMaterial();  // the defaults above

    // Reads a "PhysicMaterial" tag: each known child sets its field, absent ones keep theirs,
    // unknown ones are skipped. False with an error line for a root of another name.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    // New "PhysicMaterial" tag: the three frictions and restitution always, the others when they
    // differ from their defaults. NULL with an error line when out of memory.
    nMetaTag* Serialize(nMetaFile* document) const;
};

#endif
