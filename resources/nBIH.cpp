// Bounding interval hierarchy: the tree over item boxes, its ray and box traversals, and the
// spread directions of soft sampling.
#include "resources/nBIH.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nRandom.h"
#include "core/nTimer.h"

namespace {
const float kClipMargin = 0.0001f;

inline float Component(const nVector& v, int32_t axis) { return (&v.x)[axis]; }
inline float& Component(nVector& v, int32_t axis) { return (&v.x)[axis]; }

inline float Centre(const nMinMax& box, int32_t axis)
{
    return (Component(box.min, axis) + Component(box.max, axis)) * 0.5f;
}

inline bool Finite(const nVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline void MakeLeaf(nBIHNode& node, uint32_t first, uint32_t count)
{
    node.axis = nBIHNode::LeafAxis;
    node.link = first;
    node.itemCount = (int32_t)count;
    node.rightClip = 0.0f;
}
}

nBIHRay::nBIHRay()
    : stackDepth(0), nearest(1), hit(0), hitDistance(-1.0f), steps(0), hitObject(0), polygon(-1), triangle(0),
      backFace(0), trianglesTested(0)
{
    weights[0] = weights[1] = weights[2] = 0.0f;
}

nBIH::nBIH()
    : m_leafSize(8), m_bounds(nVector(0, 0, 0, 1), nVector(0, 0, 0, 1)), m_nodes(0), m_nodeCapacity(0), m_items(0),
      m_nodeCount(0), m_leafCount(0), m_depth(0), m_nodesLost(false)
{
}

nBIH::~nBIH()
{
    nBIH::Release();
}

void nBIH::Release()
{
    delete[] m_nodes;
    delete[] m_items;
    m_nodes = 0;
    m_items = 0;
    m_nodeCapacity = 0;
    m_nodeCount = 0;
    m_leafCount = 0;
    m_depth = 0;
}

// ---------------------------------------------------------------------------------------------
// Building

struct nBIH::Range
{
    nMinMax box;     // the region being split, not the items' box
    uint32_t first;  // into the item entries
    uint32_t count;
};

bool nBIH::Build(uint32_t count, const nMinMax* boxes)
{
    *g_log << "Building bounding interval hierarchy BIH...\n";
    nTimer timer;
    timer.Start();
    if (count == 0 || !boxes) return false;

    m_items = new (std::nothrow) uint32_t[count];
    // Every split adds two nodes; a balanced tree needs about 4 per leaf's worth of items.
    m_nodeCapacity = count / (uint32_t)m_leafSize * 4 + 16;
    m_nodes = new (std::nothrow) nBIHNode[m_nodeCapacity];
    if (!m_items || !m_nodes) {
        *g_log << "[!] " << (m_items ? "Failed to allocate BIH root node.\n" : "Failed to allocate BIH indice array.\n");
        Release();
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) m_items[i] = i;

    m_bounds = boxes[0];
    for (uint32_t i = 1; i < count; ++i) m_bounds.Merge(boxes[i]);
    const nVector margin(kClipMargin, kClipMargin, kClipMargin, 0.0f);
    m_bounds.min = m_bounds.min - margin;
    m_bounds.max = m_bounds.max + margin;
    m_bounds.min.w = m_bounds.max.w = 1.0f;

    m_leafCount = 0;
    m_nodeCount = 1;
    m_depth = 0;
    m_nodesLost = false;
    MakeLeaf(m_nodes[0], 0, 0);
    Range all = {m_bounds, 0, count};
    Subdivide(all, boxes, 0, 0);

    timer.Stop();
    *g_log << "Done in " << (int32_t)timer.GetLastMs() << "ms. " << m_nodeCount << " nodes, " << m_leafCount
           << " leaves, depth = " << m_depth << ".\n";
    return true;
}

// The longest side of the region; ties go to x, then y. (Ties going to z would split a flat,
// square mesh along its thickness at every level and leave one leaf holding all of it.)
int32_t nBIH::ChooseAxis(const nMinMax& box) const
{
    const float dx = box.max.x - box.min.x, dy = box.max.y - box.min.y, dz = box.max.z - box.min.z;
    if (dx >= dy && dx >= dz) return 0;
    if (dy >= dz) return 1;
    return 2;
}

bool nBIH::AllocateChildren(uint32_t& first)
{
    if ((uint32_t)m_nodeCount + 2 > m_nodeCapacity) {
        uint32_t capacity = m_nodeCapacity * 2;
        nBIHNode* nodes = capacity > m_nodeCapacity ? new (std::nothrow) nBIHNode[capacity] : 0;
        if (!nodes) return false;
        std::memcpy(nodes, m_nodes, sizeof(nBIHNode) * (size_t)m_nodeCount);
        delete[] m_nodes;
        m_nodes = nodes;
        m_nodeCapacity = capacity;
    }
    first = (uint32_t)m_nodeCount;
    MakeLeaf(m_nodes[first], 0, 0);
    MakeLeaf(m_nodes[first + 1], 0, 0);
    m_nodeCount += 2;
    return true;
}

void nBIH::Subdivide(const Range& range, const nMinMax* boxes, uint32_t node, int32_t level)
{
    // 1. Few enough items, or the level limit: a leaf.
    if (range.count <= (uint32_t)m_leafSize || level >= kBIHLevelLimit) {
        MakeLeaf(m_nodes[node], range.first, range.count);
        ++m_leafCount;
        if (level > m_depth) m_depth = level;
        return;
    }
    // 2.-3. The axis, and the middle of the region along it.
    const int32_t axis = ChooseAxis(range.box);
    const float split = Centre(range.box, axis);

    // 4. Items whose centre lies above the split to the back, the others to the front.
    uint32_t* items = m_items + range.first;
    uint32_t front = 0;
    for (uint32_t i = 0; i < range.count; ++i)
        if (!(Centre(boxes[items[i]], axis) > split)) {
            uint32_t swap = items[front];
            items[front++] = items[i];
            items[i] = swap;
        }

    // 5. The clips: the front items' maximum and the back items' minimum, with a margin.
    float leftClip = -FLT_MAX, rightClip = FLT_MAX;
    for (uint32_t i = 0; i < front; ++i) {
        const float high = Component(boxes[items[i]].max, axis);
        if (high > leftClip) leftClip = high + kClipMargin;
    }
    for (uint32_t i = front; i < range.count; ++i) {
        const float low = Component(boxes[items[i]].min, axis);
        if (low < rightClip) rightClip = low - kClipMargin;
    }

    // 6. The children; without room the node keeps its items, so nothing goes unfound.
    uint32_t children = 0;
    if (!AllocateChildren(children)) {
        if (!m_nodesLost) *g_log << "[!] Failed to allocate BIH node children.\n";
        m_nodesLost = true;
        MakeLeaf(m_nodes[node], range.first, range.count);
        ++m_leafCount;
        if (level > m_depth) m_depth = level;
        return;
    }
    nBIHNode& interior = m_nodes[node];
    interior.axis = axis;
    interior.link = children;
    interior.leftClip = leftClip;
    interior.rightClip = rightClip;

    // 7. Each half of the region with its items.
    Range left = {range.box, range.first, front};
    Component(left.box.max, axis) = split;
    Range right = {range.box, range.first + front, range.count - front};
    Component(right.box.min, axis) = split;
    Subdivide(left, boxes, children, level + 1);
    Subdivide(right, boxes, children + 1, level + 1);
}

// ---------------------------------------------------------------------------------------------
// Ray traversal

void nBIH::Intersect(nBIHRay& ray, const nVector& origin, const nVector& direction, float maxDistance)
{
    // 1. Reset the record.
    ray.hitDistance = -1.0f;
    ray.steps = 0;
    ray.stackDepth = 0;
    ray.hit = 0;
    if (m_nodeCount == 0 || !Finite(origin) || !Finite(direction)) return;

    // 2. The stretch of the ray inside the bounds, cut at the maximum distance.
    float t0 = 0.0f, t1 = 0.0f;
    if (!m_bounds.IntersectRayRange(origin, direction, t0, t1)) return;
    if (maxDistance > 0.0f) {
        if (t0 >= maxDistance) return;
        if (t1 > maxDistance) t1 = maxDistance;
    }

    // 3. The record holds the ray; start at the root.
    ray.origin = origin;
    ray.direction = direction;
    const nBIHNode* node = m_nodes;

    // 4. Front to back: near children first, far children on the stack.
    for (;;) {
        const bool settled = ray.hit && (ray.hitDistance <= t0 || !ray.nearest);
        bool reached = !settled;
        while (reached && !node->IsLeaf()) {
            ++ray.steps;
            const int32_t axis = node->axis;
            const float r = Component(direction, axis), o = Component(origin, axis);
            const nBIHNode* children = m_nodes + node->link;
            if (r != 0.0f) {
                const float tLeft = (node->leftClip - o) / r, tRight = (node->rightClip - o) / r;
                const bool leftNear = r > 0.0f;
                const nBIHNode* nearChild = leftNear ? children : children + 1;
                const nBIHNode* farChild = leftNear ? children + 1 : children;
                const float nearExit = leftNear ? tLeft : tRight;
                const float farEntry = leftNear ? tRight : tLeft;
                if (nearExit > t0) {
                    if (farEntry < t1 && ray.stackDepth < kBIHStackSize)
                        ray.stack[ray.stackDepth++] = {farChild, farEntry > t0 ? farEntry : t0, t1};
                    node = nearChild;
                    if (nearExit < t1) t1 = nearExit;
                } else if (farEntry < t1) {
                    node = farChild;
                    if (farEntry > t0) t0 = farEntry;
                } else
                    reached = false;
            } else if (o < node->leftClip) {
                if (o > node->rightClip && ray.stackDepth < kBIHStackSize)
                    ray.stack[ray.stackDepth++] = {children + 1, t0, t1};
                node = children;
            } else if (o > node->rightClip)
                node = children + 1;
            else
                reached = false;
        }
        if (reached) TestLeaf(*node, t0, t1, ray);

        // d. The next pending far child, if any.
        if (ray.stackDepth == 0) return;
        const nBIHRay::Pending& next = ray.stack[--ray.stackDepth];
        node = next.node;
        t0 = next.entry;
        t1 = next.exit;
    }
}

// ---------------------------------------------------------------------------------------------
// Box traversal

void nBIH::VisitBox(const nMinMax& box, LeafVisitor visit, void* context) const
{
    if (m_nodeCount == 0 || !visit) return;
    for (int32_t axis = 0; axis < 3; ++axis)
        if (!(Component(box.min, axis) <= Component(m_bounds.max, axis) &&
              Component(box.max, axis) >= Component(m_bounds.min, axis)))
            return;
    const nBIHNode* pending[kBIHStackSize];
    int32_t depth = 0;
    const nBIHNode* node = m_nodes;
    for (;;) {
        while (node && !node->IsLeaf()) {
            const int32_t axis = node->axis;
            const nBIHNode* children = m_nodes + node->link;
            const bool left = Component(box.min, axis) <= node->leftClip;
            const bool right = Component(box.max, axis) >= node->rightClip;
            if (left && right && depth < kBIHStackSize) pending[depth++] = children + 1;
            node = left ? children : (right ? children + 1 : 0);
        }
        if (node && node->itemCount > 0) visit(context, m_items + node->link, node->itemCount);
        if (depth == 0) return;
        node = pending[--depth];
    }
}

// ---------------------------------------------------------------------------------------------
// Spread directions

bool BuildSpreadVectors(nVectorSpread& spread, int32_t sectors, int32_t rings, float angle)
{
    // 1. A fresh table of sectors x rings directions.
    delete[] spread.vectors;
    spread.vectors = 0;
    spread.count = 0;
    const int64_t total = (int64_t)sectors * (int64_t)rings;
    if (sectors < 0 || rings < 0 || total > 0x7fffffff) {
        *g_log << "[!] failed to allocate vector spread.\n";
        return false;
    }
    if (total == 0) return true;
    spread.vectors = new (std::nothrow) nVector[(size_t)total];
    if (!spread.vectors) {
        *g_log << "[!] failed to allocate vector spread.\n";
        return false;
    }

    // 2. Ring by ring, sector by sector, each jittered within its cell.
    const float kTwoPi = 6.28318530718f;
    const float step = angle / (float)(rings + 2);
    const float sectorAngle = kTwoPi / (float)sectors;
    for (int32_t r = 0; r < rings; ++r) {
        const float polar = step * (float)(r + 1) + nRandFloat(step);
        for (int32_t s = 0; s < sectors; ++s) {
            const float azimuth = (float)s * sectorAngle + nRandFloat(sectorAngle);
            nVector direction(std::sin(polar), 0.0f, std::cos(polar), 1.0f);
            direction = direction.Rotate(nMatrix3::RotationZ(azimuth));
            direction.w = 1.0f;
            spread.vectors[spread.count++] = direction;
        }
    }
    return true;
}
