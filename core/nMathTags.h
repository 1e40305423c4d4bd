#ifndef N_MATH_TAGS_H
#define N_MATH_TAGS_H

// Building blocks of the NML forms of vectors and matrices: a tag of float children, read
// by position (child names are ignored).

class nMetaTag;

// Reads the values of the first max children of tag into out, in order; returns how many
// were read (fewer when the tag has fewer children). A float child is taken as stored, an
// integer child converted, any other child reads as 0. A NULL tag reads nothing.
int nReadFloatChildren(const nMetaTag* tag, float* out, int max);

// New tag named name with one float child per value, named by childNames; NULL when out
// of memory.
nMetaTag* nNewFloatTag(const char* name, const char* const* childNames, const float* values, int count);

#endif
