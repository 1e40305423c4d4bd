#include <cmath>
#include <cstdio>

#include "core/nTimer.h"
#include "render/nRenderer.h"

// The debug shapes every renderer draws through its line list and single triangles, and the
// statistics text it writes with a raster font.

namespace {
const nVector kWhite(1.0f, 1.0f, 1.0f, 1.0f);
const nVector kBoxColour(0.5f, 1.0f, 0.0f, 1.0f);
const nVector kCubeColour(0.0f, 0.5f, 1.0f, 1.0f);
const nVector kSphereColour(1.0f, 1.0f, 0.0f, 1.0f);
const nVector kOrientedBoxColour(1.0f, 0.5f, 0.0f, 1.0f);
const nVector kBlack(0.0f, 0.0f, 0.0f, 1.0f);
const nVector kTitleColour(0.75f, 0.5f, 1.0f, 1.0f);
const float kPi = 3.14159265358979f;

const nVector& Or(const nVector* colour, const nVector& fallback) { return colour ? *colour : fallback; }

// A point of the local frame (orientation, then centre).
nVector Local(const nVector& centre, const nMatrix3* orientation, float x, float y, float z)
{
    nVector p(x, y, z);
    if (orientation) p = p.Rotate(*orientation);
    return centre + p;
}

// Corner i (bits x, y, z) of a box given by its minimum and maximum.
nVector Corner(const nVector& lo, const nVector& hi, int i)
{
    return nVector(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
}

// The twelve edges of a box as pairs of corner indices.
const int kEdges[12][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}, {4, 5}, {5, 7}, {7, 6}, {6, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// The six faces as corner quads, each wound the same way seen from outside.
const int kFaces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};

void OrientedCorners(const nOBB& box, nVector* corners)
{
    for (int i = 0; i < 8; ++i) {
        nVector local((i & 1 ? 0.5f : -0.5f) * box.scale.x, (i & 2 ? 0.5f : -0.5f) * box.scale.y,
                      (i & 4 ? 0.5f : -0.5f) * box.scale.z);
        corners[i] = box.position + local.Rotate(box.orientation);
    }
}
}

void nRenderer::DrawCross(const nVector& position, float halfSize, const nVector* colour)
{
    if (IsClosed()) return;
    const nVector& c = Or(colour, kWhite);
    DrawLine(position - nVector(halfSize, 0, 0), position + nVector(halfSize, 0, 0), &c);
    DrawLine(position - nVector(0, halfSize, 0), position + nVector(0, halfSize, 0), &c);
    DrawLine(position - nVector(0, 0, halfSize), position + nVector(0, 0, halfSize), &c);
}

void nRenderer::DrawBox(const nMinMax& box, const nVector* colour)
{
    if (IsClosed()) return;
    const nVector& c = Or(colour, kBoxColour);
    for (const auto& e : kEdges)
        DrawLine(Corner(box.min, box.max, e[0]), Corner(box.min, box.max, e[1]), &c);
}

void nRenderer::DrawSquare(const nVector& centre, float halfSize)
{
    if (IsClosed()) return;
    const nVector a(centre.x - halfSize, centre.y - halfSize, centre.z);
    const nVector b(centre.x + halfSize, centre.y - halfSize, centre.z);
    const nVector c(centre.x + halfSize, centre.y + halfSize, centre.z);
    const nVector d(centre.x - halfSize, centre.y + halfSize, centre.z);
    DrawLine(a, b, &kWhite);
    DrawLine(b, c, &kWhite);
    DrawLine(c, d, &kWhite);
    DrawLine(d, a, &kWhite);
}

void nRenderer::DrawCube(const nVector& centre, float halfSize, const nVector* colour)
{
    const nVector h(halfSize, halfSize, halfSize);
    DrawBox(nMinMax(centre - h, centre + h), &Or(colour, kCubeColour));
}

void nRenderer::DrawSphere(const nVector& centre, float radius, const nVector* colour)
{
    const nVector& c = Or(colour, kSphereColour);
    const float step = 10.0f * kPi / 180.0f;
    for (int k = 0; k < 36; ++k) {
        const float a0 = k * step, a1 = (k + 1) * step;
        const float c0 = std::cos(a0) * radius, s0 = std::sin(a0) * radius;
        const float c1 = std::cos(a1) * radius, s1 = std::sin(a1) * radius;
        DrawLine(centre + nVector(0, c0, s0), centre + nVector(0, c1, s1), &c);  // plane x = centre
        DrawLine(centre + nVector(c0, s0, 0), centre + nVector(c1, s1, 0), &c);  // plane z = centre
        DrawLine(centre + nVector(c0, 0, s0), centre + nVector(c1, 0, s1), &c);  // plane y = centre
    }
}

void nRenderer::DrawTransformedSphere(const nMatrix4& matrix, float radius, const nVector* colour)
{
    const float step = 15.0f * kPi / 180.0f;
    for (int k = 0; k < 24; ++k) {
        const float a0 = k * step, a1 = (k + 1) * step;
        const float c0 = std::cos(a0) * radius, s0 = std::sin(a0) * radius;
        const float c1 = std::cos(a1) * radius, s1 = std::sin(a1) * radius;
        DrawLine(nVector(0, c0, s0).Transform(matrix), nVector(0, c1, s1).Transform(matrix), colour);
        DrawLine(nVector(c0, s0, 0).Transform(matrix), nVector(c1, s1, 0).Transform(matrix), colour);
        DrawLine(nVector(c0, 0, s0).Transform(matrix), nVector(c1, 0, s1).Transform(matrix), colour);
    }
}

void nRenderer::DrawCircle(const nVector& centre, float radius, const nMatrix3* orientation, const nVector* colour)
{
    // The angle is a float summed step by step: rounding leaves it just below two pi after 36
    // steps, so a 37th segment is drawn over the first.
    const float step = 0.17453294f;
    const float end = 6.2831855f;
    float angle = 0.0f;
    nVector previous = Local(centre, orientation, radius, 0.0f, 0.0f);
    while (angle < end) {
        angle += step;
        const nVector next = Local(centre, orientation, std::cos(angle) * radius, std::sin(angle) * radius, 0.0f);
        DrawLine(previous, next, colour);
        previous = next;
    }
}

void nRenderer::DrawCylinder(const nVector& centre, float radius, float height, const nMatrix3* orientation,
                             const nVector* colour)
{
    const float h = height * 0.5f;
    DrawCircle(Local(centre, orientation, 0, 0, -h), radius, orientation, colour);
    DrawCircle(Local(centre, orientation, 0, 0, h), radius, orientation, colour);
    const float sides[4][2] = {{radius, 0}, {-radius, 0}, {0, radius}, {0, -radius}};
    for (const auto& s : sides)
        DrawLine(Local(centre, orientation, s[0], s[1], -h), Local(centre, orientation, s[0], s[1], h), colour);
}

void nRenderer::DrawCapsule(const nVector& centre, float radius, float height, const nMatrix3* orientation,
                            const nVector* colour)
{
    const float h = height * 0.5f;
    DrawSphere(Local(centre, orientation, 0, 0, -h), radius, colour);  // the spheres stay axis-aligned
    DrawSphere(Local(centre, orientation, 0, 0, h), radius, colour);
    DrawLine(Local(centre, orientation, radius, 0, -h), Local(centre, orientation, radius, 0, h), colour);
    DrawLine(Local(centre, orientation, -radius, 0, -h), Local(centre, orientation, -radius, 0, h), colour);
}

void nRenderer::DrawCone(const nVector& centre, float radius, float height, const nMatrix3* orientation,
                         const nVector* colour)
{
    const float h = height * 0.5f;
    DrawCircle(Local(centre, orientation, 0, 0, -h), radius, orientation, colour);
    const nVector apex = Local(centre, orientation, 0, 0, h);
    const float base[4][2] = {{radius, 0}, {-radius, 0}, {0, radius}, {0, -radius}};
    for (const auto& b : base) DrawLine(Local(centre, orientation, b[0], b[1], -h), apex, colour);
}

void nRenderer::DrawOrientedBox(const nOBB& box, const nVector* colour)
{
    const nVector& c = Or(colour, kOrientedBoxColour);
    nVector corners[8];
    OrientedCorners(box, corners);
    for (const auto& e : kEdges) DrawLine(corners[e[0]], corners[e[1]], &c);
}

void nRenderer::DrawSolidOrientedBox(const nOBB& box, const nVector* colour, uint32_t renderFlags)
{
    const nVector& c = Or(colour, kOrientedBoxColour);
    nVector corners[8];
    OrientedCorners(box, corners);
    for (const auto& f : kFaces) {
        DrawTriangle(corners[f[0]], corners[f[1]], corners[f[2]], &c, 0, 0, renderFlags);
        DrawTriangle(corners[f[0]], corners[f[2]], corners[f[3]], &c, 0, 0, renderFlags);
    }
}

float nRenderer::LayoutStatistics(float x, float y, float queueMs, float cullingMs,
                                  std::vector<nStatisticsLine>& lines) const
{
    const RendererStatistics& s = m_statistics;
    const uint32_t passes = s.queuePasses;
    const uint32_t lists = s.listsDrawn;
    char text[160];
    lines.clear();
    auto add = [&](const nVector& colour) { lines.push_back(nStatisticsLine{text, x, y, colour}); };
    auto advance = [&]() {
        y += 0.0225f;
        if (y > 0.955f) {
            x += 0.5f;
            y = 0.05f;
        }
    };

    std::snprintf(text, sizeof text, "Renderer:");
    add(kTitleColour);
    advance();
    advance();
    std::snprintf(text, sizeof text, "Render queue = %0.02f ms", queueMs);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Queue pass = %d", (int)passes);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Culling = %0.02f ms", cullingMs);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Light processed = %d", (int)s.lightsProcessed);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Object sent = %d", (int)s.objectsSent);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Object drawn = %d (pass avg. = %d)", (int)s.objectsDrawn,
                  passes ? (int)(s.objectsDrawn / passes) : 0);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "Triangle drawn = %d (pass avg. = %d)", (int)s.trianglesDrawn,
                  passes ? (int)(s.trianglesDrawn / passes) : 0);
    add(kWhite), advance();
    std::snprintf(text, sizeof text, "List drawn = %d (avg. list length = %.02f, efficiency = %.04f)", (int)lists,
                  lists ? (double)s.trianglesDrawn / lists : 0.0, lists ? (double)passes / lists : 1.0);
    add(kWhite), advance();
    advance();
    advance();
    return y;
}

float nRenderer::DrawStatistics(float x, float y, nRasterFont* font)
{
    if (!CanWriteWith(font)) return y;
    nTimer* culling = m_slot ? m_slot->GetCullingTimer() : 0;
    std::vector<nStatisticsLine> lines;
    const float next = LayoutStatistics(x, y, m_renderQueueTimer.GetAverageMs(),
                                        culling ? culling->GetAverageMs() : 0.0f, lines);
    nVector2 output;
    GetOutputSize(output);
    const float dx = output.x > 0.0f ? 1.0f / output.x : 0.0f;
    const float dy = output.y > 0.0f ? 1.0f / output.y : 0.0f;
    for (const nStatisticsLine& line : lines) {
        Write(font, line.text.c_str(), line.x + dx, line.y + dy, 0.375f, true, 0, &kBlack);
        Write(font, line.text.c_str(), line.x, line.y, 0.375f, true, 0, &line.colour);
    }
    return next;
}
