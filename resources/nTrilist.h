#ifndef N_TRILIST_H
#define N_TRILIST_H

#include <cstdint>

#include "core/nLinkedList.h"
#include "resources/nGeometry.h"

// Skin record of one list vertex: four influences, each naming a slot of the list's bone table.
struct nTrilistSkin
{
    float weight[4];
    uint8_t slot[4];
};

const uint32_t kTrilistMaxCorners = 256;  // corners of one polygon that are triangulated
const uint32_t kTrilistMaxBones = 32;     // bone-table entries of one list, at most 256
const uint32_t kTrilistBoneHeadroom = 4;  // a list full to within this takes no further polygon (28 of 32)
const uint32_t kTrilistNoVertexLimit = 0xffffffffu;

// One indexed triangle list cut from a geometry, ready for upload: one attribute record per
// vertex, every triangle drawn with one material of the geometry. Absent arrays are NULL.
class nTrilist : public nLinkedListEntry
{
public:
    nTrilist();            // every count 0, every array absent
    ~nTrilist() override;  // frees every array
    nTrilist(const nTrilist&) = delete;
    nTrilist& operator=(const nTrilist&) = delete;

    uint32_t vertexCount;
    nVector* positions;
    uint32_t triangleCount;
    int32_t* indices;  // 3 per triangle, vertex numbers within this list
    uint32_t boneCount;
    nTrilistSkin* skin;                     // one per vertex, when the geometry has skin weights
    uint16_t* bones;                        // geometry bone numbers the slots refer to, in order of first use
    nVector* normals;                       // when the geometry has vertex normals
    nTangentFrame* tangentFrames;           // with vertex tangent frames and a NormalMapTangent material
    nGeometryColor* colours;                // when the geometry has colours
    nVector2* uvSets[kGeometryUVSetCount];  // the sets the geometry has; NULL for the others
    int32_t material;                       // index into the geometry's material table
};

// Turns the fan polygons of a geometry into triangle lists, material by material in table order
// and, within a material, in polygon order. A list is closed before the polygon that would bring
// its triangles to maxTriangles, its vertices above maxVertices or its bone table above maxBones,
// and once its bone table holds maxBones - kTrilistBoneHeadroom bones.
// Vertices whose corners all agree (homogeneous) are shared within a list; every other corner
// becomes a vertex of its own. Polygons whose material index is out of range draw with material
// 0; polygons with fewer than 3 corners, with corners outside the geometry or too large for any
// list are skipped (one log line per kind). Only the first kTrilistMaxCorners corners of a
// polygon are triangulated (one warning).
// Returns a new list owning its nTrilist entries (empty without materials), or NULL with an
// error line for a geometry without polygons or when out of memory. The caller deletes it.
nLinkedList* ConvertGeometryToTrilist(nGeometry* geometry, uint32_t maxTriangles,
                                      uint32_t maxVertices = kTrilistNoVertexLimit,
                                      uint32_t maxBones = kTrilistMaxBones);

#endif
