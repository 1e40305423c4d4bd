#ifndef N_BIH_H
#define N_BIH_H

#include <cstdint>

#include "core/nBounds.h"
#include "core/nVector.h"

// One node of a bounding interval hierarchy, four 32-bit words. An interior node splits along
// its axis: its left child's items end at or before the left clip, its right child's items start
// at or after the right clip. Children are allocated in pairs in the hierarchy's node array.
struct nBIHNode
{
    enum
    {
        LeafAxis = 3
    };

    int32_t axis;   // 0 x, 1 y, 2 z; LeafAxis for a leaf
    uint32_t link;  // interior: index of the left child (the right one follows); leaf: first item entry
    union
    {
        float leftClip;     // interior: the left child's maximum along the axis
        int32_t itemCount;  // leaf: number of items
    };
    float rightClip;  // interior: the right child's minimum along the axis

    bool IsLeaf() const { return axis == LeafAxis; }
};

const int32_t kBIHLevelLimit = 64;  // deepest level; a node there is a leaf
const int32_t kBIHStackSize = kBIHLevelLimit + 1;

// The ray and hit record of one query, owned by the caller. The traversal keeps its stack here
// and allocates nothing. Distances are in multiples of the direction, which need not be unit.
struct nBIHRay
{
    struct Pending
    {
        const nBIHNode* node;
        float entry;
        float exit;
    };

    nBIHRay();  // no hit, nearest set, everything else 0

    Pending stack[kBIHStackSize];  // far children still to visit
    int32_t stackDepth;
    uint8_t nearest;    // set by the caller: keep looking for nearer hits after the first one
    uint8_t hit;        // a hit was recorded
    float hitDistance;  // ray parameter of the hit; -1 when none
    nVector origin;
    nVector direction;
    int32_t steps;     // interior nodes stepped through
    void* hitObject;   // what was hit (a geometry hierarchy stores its geometry)
    int32_t polygon;   // polygon of the hit; -1 when none
    int32_t triangle;  // fan triangle: 0 for corners (0, 1, 2), 1 for (0, 2, 3), ...
    float weights[3];  // barycentric weights of corners j, j + 1 and 0 of fan triangle (0, j, j + 1)
    uint8_t backFace;  // the hit was on the back of a double-sided polygon
    int32_t trianglesTested;
};

// A bounding interval hierarchy over items given by boxes: a binary tree whose nodes split the
// middle of their box along its longest side, answering ray queries front to back and box
// queries. Abstract: a subclass tests a ray against the items of one leaf.
class nBIH
{
public:
    nBIH();           // empty: leaf size 8, bounds zero (w 1)
    virtual ~nBIH();  // Release
    nBIH(const nBIH&) = delete;
    nBIH& operator=(const nBIH&) = delete;

    // Tests the ray against the items of a leaf within [entry, exit] and records a hit in ray.
    virtual void TestLeaf(const nBIHNode& leaf, float entry, float exit, nBIHRay& ray) = 0;

    // Builds over count items, item i bounded by boxes[i]; expects an empty hierarchy. False
    // (without a line) for no items, or with an error line when out of memory. A node whose
    // children cannot be allocated keeps its items as one larger leaf.
    virtual bool Build(uint32_t count, const nMinMax* boxes);

    // Finds the hits of origin + t direction, 0 <= t, t <= maxDistance when maxDistance > 0:
    // the first one found, or the nearest when ray.nearest is set. A ray with a coordinate that
    // is not finite hits nothing.
    virtual void Intersect(nBIHRay& ray, const nVector& origin, const nVector& direction, float maxDistance);

    virtual void Release();  // every node and the item entries; empty again

    // Calls visit once for every leaf whose region meets box (touching counts), with the leaf's
    // items: a superset of the items whose boxes meet it, each item at most once.
    typedef void (*LeafVisitor)(void* context, const uint32_t* items, int32_t count);
    void VisitBox(const nMinMax& box, LeafVisitor visit, void* context) const;

    const nMinMax& GetBounds() const { return m_bounds; }  // every item, 0.0001 larger on each side
    int32_t GetNodeCount() const { return m_nodeCount; }
    int32_t GetLeafCount() const { return m_leafCount; }
    int32_t GetDepth() const { return m_depth; }  // deepest leaf level
    int32_t GetLeafSize() const { return m_leafSize; }
    const nBIHNode* GetRoot() const { return m_nodeCount ? m_nodes : 0; }
    const nBIHNode* GetChildren(const nBIHNode& node) const { return m_nodes + node.link; }
    const uint32_t* GetItems(const nBIHNode& leaf) const { return m_items + leaf.link; }  // the leaf's itemCount entries
    uint32_t* GetItemEntries() { return m_items; }                                        // item of every leaf entry, for a subclass to renumber

protected:
    int32_t m_leafSize;

private:
    struct Range;
    int32_t ChooseAxis(const nMinMax& box) const;
    void Subdivide(const Range& range, const nMinMax* boxes, uint32_t node, int32_t level);
    bool AllocateChildren(uint32_t& first);  // two empty leaves at the end of the node array

    nMinMax m_bounds;
    nBIHNode* m_nodes;  // m_nodes[0] is the root
    uint32_t m_nodeCapacity;
    uint32_t* m_items;  // a permutation of the items; each leaf names a contiguous run
    int32_t m_nodeCount;
    int32_t m_leafCount;
    int32_t m_depth;
    bool m_nodesLost;
};

// A table of jittered unit directions around +z, for soft sampling.
struct nVectorSpread
{
    nVectorSpread() : count(0), vectors(0) {}
    ~nVectorSpread() { delete[] vectors; }
    nVectorSpread(const nVectorSpread&) = delete;
    nVectorSpread& operator=(const nVectorSpread&) = delete;

    int32_t count;
    nVector* vectors;
};

// Replaces the table with rings x sectors directions (w 1), ring-major: ring r at a polar angle
// in [step (r + 1), step (r + 2)) with step = angle / (rings + 2), sector s at an azimuth in
// [s, s + 1) x 2 pi / sectors, jittered by the engine's random generator. False with an error
// line when out of memory or for a negative size; zero rings or sectors give an empty table.
bool BuildSpreadVectors(nVectorSpread& spread, int32_t sectors, int32_t rings, float angle);

#endif
