#ifndef N_INTERFACEFUNCTION_H
#define N_INTERFACEFUNCTION_H

#include <cstdint>

// One function of an input device (an axis, a button, the key presses): a ring of its 8
// newest values with a bounce filter. With the filter on, a non-zero value that follows an
// accepted non-zero value is refused, so a button held down counts once per press.
class nInterfaceFunction
{
public:
    enum
    {
        Capacity = 8
    };

    nInterfaceFunction() { Reset(); }

    bool Push(int32_t value);              // false when the filter refuses it; else the newest value, the oldest dropped past 8
    bool Pool(int32_t* out, bool remove);  // the newest value (out may be NULL); false when empty; remove drops it
    bool Seek(int32_t value) const;        // among the stored values, newest to oldest
    void Reset();                          // filter off, empty
    void Empty() { m_count = 0; }

    void SetFilter(bool on) { m_filter = on; }
    bool GetFilter() const { return m_filter; }
    void SetLastNonZero(bool on) { m_lastNonZero = on; }  // what the filter compares with
    bool GetLastNonZero() const { return m_lastNonZero; }
    int32_t GetCount() const { return m_count; }

private:
    bool m_filter;
    bool m_lastNonZero;
    int32_t m_head;  // index of the newest value
    int32_t m_count;
    int32_t m_values[Capacity];
};

#endif
