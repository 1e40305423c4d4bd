#ifndef N_KEYSEARCH_H
#define N_KEYSEARCH_H

#include <cstdint>

// The segment of a key list that holds time t: the index i with key[i].time < t <= key[i+1].time
// (0 when t is the first key's time), found from the cached index of the previous search when
// there is one, by a scan from the start otherwise. n must be at least 2. The result always
// leaves a key after it, whatever the key times hold: unsorted keys or NaN times only give odd
// segments, never an index past the keys. timeAt(i) returns the time of key i.
template<class TimeAt>
uint32_t nFindKeySegment(uint32_t n, int32_t& cached, float t, TimeAt timeAt)
{
    uint32_t last = n - 2;
    uint32_t i;
    if (cached < 0 || (uint32_t)cached > last) {
        i = last;
        for (uint32_t j = 1; j < n; ++j) {
            if (timeAt(j) >= t) {
                i = j - 1;
                break;
            }
        }
    } else {
        i = (uint32_t)cached;
        if (timeAt(i) <= t) {
            while (i < last && timeAt(i + 1) < t) ++i;
        } else {
            while (i > 0 && timeAt(i) > t) --i;
        }
    }
    cached = (int32_t)i;
    return i;
}

#endif
