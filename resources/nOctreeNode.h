#ifndef N_OCTREENODE_H
#define N_OCTREENODE_H

#include <cstdint>

#include "core/nBounds.h"
#include "core/nMatrix.h"
#include "core/nSharedObject.h"

class nFrustum;
class nGeometry;
class nOrvex;
class nRenderer;

// A list of 32-bit values (polygon indices while a tree is built).
struct nDwordArray
{
    uint32_t count;
    uint32_t* values;

    nDwordArray() : count(0), values(0) {}
    ~nDwordArray() { Free(); }
    nDwordArray(const nDwordArray&) = delete;
    nDwordArray& operator=(const nDwordArray&) = delete;

    bool Allocate(uint32_t n);  // frees the old content; false when out of memory (then empty)
    void Free();
};

const int32_t kOctreeDepthBudget = 48;  // levels a build may go down

// What every node of one build shares: the source geometry, the leaf limit and a map from
// source vertices to the current leaf's numbering (-1 where unused; each leaf leaves it so).
struct nOctreeBuild
{
    nGeometry* source;
    uint32_t leafLimit;
    int32_t* vertexMap;  // one entry per source vertex
};

// One node of a geometry's split tree (called the octree): every inner node splits its
// polygons by one axis-aligned plane into a lower and an upper child; every leaf owns a
// geometry made of its polygons, with exactly the vertices they use, renumbered densely.
// The tree is owned by its geometry; deleting a node deletes its subtree and releases the
// leaf geometries below it.
class nOctreeNode
{
public:
    explicit nOctreeNode(nOrvex* engine);  // zero bounds (w 1), no leaf, axis 0, no parent or children
    ~nOctreeNode();
    nOctreeNode(const nOctreeNode&) = delete;
    nOctreeNode& operator=(const nOctreeNode&) = delete;

    // Builds this node and its subtree from the listed polygons of the source (the list is
    // freed). depth: the budget left. A node becomes a leaf when the budget is spent, when it
    // holds at most the leaf limit, or when its polygons cannot be split. False (logged) when
    // memory ran out: the subtree is then incomplete and the caller discards the tree.
    bool BuildNode(nOctreeBuild& build, nDwordArray& list, int32_t depth);

    // Marks this node and its subtree against the frustum (NULL: all inside), the bounds placed
    // by matrix (or NULL). Below an inside node nothing is tested; below an outside node
    // nothing is marked.
    void MarkVisibility(const nFrustum* frustum, const nMatrix4* matrix);
    // The next leaf of the last marking in depth-first order (lower child first), continuing
    // after cursor (NULL: from the start). Stores the leaf's node in cursor; NULL at the end.
    nGeometry* NextVisibleLeaf(nOctreeNode*& cursor) const;
    // The deepest node on the point's side of every split below this one.
    const nOctreeNode* FindLeaf(const nVector& point) const;
    // Every leaf's bounds as a box of lines (placed by matrix, or NULL), in one of four colours.
    void DrawDebug(nRenderer* renderer, const nMatrix4* matrix) const;
    // Sets up every leaf geometry, depth first, and reports "Octree Leaf Setup" once per node.
    void Setup();

    bool IsLeaf() const { return m_leaf.IsValid(); }
    nGeometry* GetLeaf() const { return m_leaf.Get(); }
    const nOctreeNode* GetParent() const { return m_parent; }
    const nOctreeNode* GetLower() const { return m_lower; }
    const nOctreeNode* GetUpper() const { return m_upper; }
    const nMinMax& GetBounds() const { return m_bounds; }
    int32_t GetVisibility() const { return m_visibility; }
    int32_t GetSplitAxis() const { return m_splitAxis; }
    float GetSplitValue() const { return m_splitValue; }

    // Leaves made and polygons they hold, counted since the last reset (one build at a time).
    static void ResetSummary();
    static void GetSummary(uint32_t& leaves, uint32_t& polygons);

private:
    bool ComputeNodeBounds(const nGeometry* source, const nDwordArray& list);  // false: no listed polygon has a vertex
    uint32_t ChooseSplit(const nGeometry* source, const nDwordArray& list);    // the lower count at the middle of the axis
    bool MakeLeaf(nOctreeBuild& build, nDwordArray& list);
    bool BuildChild(nOctreeNode*& child, nOctreeBuild& build, nDwordArray& list, int32_t depth);
    void DrawDebugNode(nRenderer* renderer, const nMatrix4* matrix) const;

    nOrvex* m_engine;
    int32_t m_visibility;  // nVisibility of the last marking
    nMinMax m_bounds;      // of the node's polygons, in geometry space
    nOctreeNode* m_parent;
    nOctreeNode* m_lower;  // polygons with a vertex below the split value; owned
    nOctreeNode* m_upper;  // the others; owned
    nSharedPtr<nGeometry> m_leaf;
    int32_t m_splitAxis;  // 0 x, 1 y, 2 z
    float m_splitValue;
};

#endif
