#ifndef N_GEOMETRYMERGE_H
#define N_GEOMETRYMERGE_H

#include "core/nMatrix.h"

class nGeometry;

// Bakes two geometries, each placed by its matrix (NULL: identity), into one new geometry: the
// first's vertices, polygons, corner attributes and materials, then the second's. Corner
// attributes only one of them has are filled for the other (white colours, UV (0.5, 0.5));
// normals are carried by each matrix's inverse transpose and normalised; materials are copied
// and equal copies merged. Tangents, skin, proxies and octree are not carried over. The result
// has no name and is not set up; NULL (logged) for a NULL geometry or when memory runs out.
nGeometry* MergeGeometries(nGeometry* first, nGeometry* second, const nMatrix4* firstMatrix,
                           const nMatrix4* secondMatrix);

#endif
