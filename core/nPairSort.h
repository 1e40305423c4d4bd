#ifndef N_PAIR_SORT_H
#define N_PAIR_SORT_H

#include <cstdint>

// A sort key with an index (depth and distance ordering).
struct nKeyValuePair
{
    float key;
    int32_t value;
};

// An integer sort key with an object.
struct nKeyPointerPair
{
    int32_t key;
    void* pointer;
};

// Sorts pairs[first..last] (both inclusive) by ascending key, in place. Equal keys keep no
// guaranteed order; NaN keys sort after every number.
void SortPairsByKey(nKeyValuePair* pairs, int first, int last);

// Sorts the count pairs by ascending key in place, keeping the order of equal keys, then
// copies them to out.
void BubbleSortPairs(int count, nKeyPointerPair* pairs, nKeyPointerPair* out);

#endif
