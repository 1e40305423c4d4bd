#include "scene/nAIPath.h"

#include <cmath>
#include <new>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "render/nRenderer.h"

namespace {

nVector PositionOf(const nAIPathNode* node)
{
    return nVector(node->x, node->y, node->z);
}

const nAIPathNode* NextNode(const nAIPathNode* node)
{
    return static_cast<const nAIPathNode*>(node->GetNext());
}

bool IsFinite(const nVector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}

nAIPath::nAIPath(const char* name) : m_motion(name ? name : "")
{
}

void nAIPath::NodePosition(nMotionChannel* x, nMotionChannel* y, nMotionChannel* z, float time, nAIPathNode& node)
{
    x->Evaluate(time, node.x, LoopConstant, kCurveRangeFirst, kCurveRangeLast);
    y->Evaluate(time, node.y, LoopConstant, kCurveRangeFirst, kCurveRangeLast);
    z->Evaluate(time, node.z, LoopConstant, kCurveRangeFirst, kCurveRangeLast);
}

bool nAIPath::BuildNodes()
{
    m_nodes.Clear(true);
    nMotionChannel* x = m_motion.FindChannel(ChannelXPos);
    nMotionChannel* y = m_motion.FindChannel(ChannelYPos);
    nMotionChannel* z = m_motion.FindChannel(ChannelZPos);
    if (!x || !y || !z) {
        *g_log << "[!] Cannot convert motion to channel (missing X, Y or Z component).\n";
        return false;
    }
    // The union of the three channels' key times, in ascending order: each channel's keys
    // are merged into the list with a cursor that only moves forward.
    nMotionChannel* const channels[] = {x, y, z};
    for (nMotionChannel* channel : channels) {
        nAIPathNode* cursor = static_cast<nAIPathNode*>(m_nodes.GetHead());
        for (uint32_t k = 0; k < channel->GetKeyCount(); ++k) {
            const float time = channel->GetKey(k)->time;
            if (!std::isfinite(time)) continue;  // a damaged key places no node
            while (cursor && cursor->time < time) cursor = static_cast<nAIPathNode*>(cursor->GetNext());
            if (cursor && cursor->time == time) continue;
            nAIPathNode* node = new (std::nothrow) nAIPathNode(time, 0.0f, 0.0f, 0.0f);
            if (!node) {
                *g_log << "[!] Failed to allocate AI path node, path is incomplete.\n";
                return false;
            }
            NodePosition(x, y, z, time, *node);
            if (cursor) m_nodes.InsertBefore(node, cursor, true);
            else m_nodes.Add(node, true, true);
        }
    }
    return true;
}

void nAIPath::GetPosition(float time, nVector& point)
{
    m_motion.EvaluatePosition(time, point.x, point.y, point.z, LoopRepeat);
    const float w = point.w;
    point = point.Transform(m_matrix);
    point.w = w;
}

bool nAIPath::GetClosestPoint(const nVector& point, nVector* out, float* time)
{
    if (time) *time = -1.0f;
    const nVector p = nVector(point.x, point.y, point.z).Transform(m_matrix.InverseTRS());
    bool found = false;
    float best = 0.0f;
    nVector result;
    const nAIPathNode* a = static_cast<const nAIPathNode*>(m_nodes.GetHead());
    for (const nAIPathNode* b = a ? NextNode(a) : 0; IsFinite(p) && b; a = b, b = NextNode(b)) {
        nVector c;
        // A segment of no length (a pause) gives u = 0, its first point.
        const float u = ClosestPointOnSegment(PositionOf(a), PositionOf(b), p, &c);
        const float d = c.DistanceSquared(p);
        if (!std::isfinite(d) || (found && !(d < best))) continue;
        found = true;
        best = d;
        result = c;
        if (time) *time = a->time + u * (b->time - a->time);
    }
    if (!found) {
        *g_log << "[!] Failed to query closest point to path.\n";
        return false;
    }
    if (out) {
        *out = result.Transform(m_matrix);
        out->w = 1.0f;
    }
    return true;
}

void nAIPath::Draw(nRenderer* renderer) const
{
    if (!renderer) return;
    const nAIPathNode* a = static_cast<const nAIPathNode*>(m_nodes.GetHead());
    for (const nAIPathNode* b = a ? NextNode(a) : 0; b; a = b, b = NextNode(b)) {
        const nVector from = PositionOf(a).Transform(m_matrix);
        const nVector to = PositionOf(b).Transform(m_matrix);
        // A cross of half size 1 along the world axes.
        const nVector axes[] = {nVector(1.0f, 0.0f, 0.0f), nVector(0.0f, 1.0f, 0.0f), nVector(0.0f, 0.0f, 1.0f)};
        for (const nVector& axis : axes) renderer->DrawLine(from - axis, from + axis, 0);
        renderer->DrawLine(from, to, 0);
    }
}
