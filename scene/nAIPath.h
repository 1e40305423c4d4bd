#ifndef N_AIPATH_H
#define N_AIPATH_H

#include <cstdint>

#include "core/nLinkedList.h"
#include "core/nMatrix.h"
#include "core/nVector.h"
#include "scene/nMotion.h"

class nRenderer;

// One corner of a path: a key time of the path's motion and the exact position there, in
// path space.
class nAIPathNode : public nLinkedListEntry
{
public:
    nAIPathNode(float time, float x, float y, float z) : time(time), x(x), y(y), z(z) {}

    float time;
    float x, y, z;
};

// A named route through the world: a motion whose position channels (1, 2, 3) give the
// position over time, placed by a path matrix (path space to world space, not stored in
// NML). Between the nodes, the union of the channels' key times, the route is straight.
// Two nodes at one position (a pause) make a segment of no length, which queries treat as
// its first point. Under a non-uniformly scaled matrix the closest point is measured in path
// space. Frame thread only.
class nAIPath : public nLinkedListEntry
{
public:
    explicit nAIPath(const char* name);  // identity matrix, a motion of that name (NULL: empty), no nodes
    ~nAIPath() override {}

    // Rebuilds the nodes from the motion's channels 1, 2 and 3; false (logged, no nodes) when
    // one is missing or a node cannot be made (the nodes made so far stay).
    bool BuildNodes();
    // The motion's position at the time, repeating, through the matrix; a component without a
    // channel keeps point's value before the transform.
    void GetPosition(float time, nVector& point);
    // The point of the node polyline closest to point (world space) and its path time; the
    // earlier segment wins a tie. Fewer than two nodes or a point that is not finite: false
    // (logged), out untouched and time -1.
    bool GetClosestPoint(const nVector& point, nVector* out, float* time);
    // Debug lines: a cross at every node but the last and a line along every segment.
    void Draw(nRenderer* renderer) const;

    const nMatrix4& GetMatrix() const { return m_matrix; }
    void SetMatrix(const nMatrix4& m) { m_matrix = m; }
    nMotion& GetMotion() { return m_motion; }
    const nString& GetName() const { return m_motion.GetName(); }
    const nLinkedList& GetNodes() const { return m_nodes; }

private:
    // X, Y and Z at the time over their whole curves, clamped (loop mode Constant).
    void NodePosition(nMotionChannel* x, nMotionChannel* y, nMotionChannel* z, float time, nAIPathNode& node);

    nMatrix4 m_matrix;
    nMotion m_motion;
    nLinkedList m_nodes;  // nAIPathNode, ascending time, owned
};

#endif
