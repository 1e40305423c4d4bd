#include "core/nPairSort.h"

#include <algorithm>
#include <cmath>

void SortPairsByKey(nKeyValuePair* pairs, int first, int last)
{
    if (!pairs || first >= last)
        return;
    // A strict weak order even with NaN keys, which plain < is not; std::sort relies on it.
    std::sort(pairs + first, pairs + last + 1, [](const nKeyValuePair& a, const nKeyValuePair& b) {
        if (std::isnan(b.key))
            return !std::isnan(a.key);
        return a.key < b.key;
    });
}

void BubbleSortPairs(int count, nKeyPointerPair* pairs, nKeyPointerPair* out)
{
    if (count <= 0)
        return;
    if (count > 1)
        std::stable_sort(pairs, pairs + count,
                         [](const nKeyPointerPair& a, const nKeyPointerPair& b) { return a.key < b.key; });
    std::copy(pairs, pairs + count, out);
}
