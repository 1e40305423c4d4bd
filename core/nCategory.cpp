#include "core/nCategory.h"

namespace {

// Saved indices of the nested EnterCategory calls of one thread. Nesting deeper than the
// stack still balances: the extra levels are counted and restore nothing of their own.
const int32_t kMaxDepth = 32;

struct CategoryState
{
    int32_t current = CategoryDefault;
    int32_t depth = 0;
    int32_t saved[kMaxDepth];
};

thread_local CategoryState t_category;

}

int32_t GetCategory()
{
    return t_category.current;
}

void EnterCategory(int32_t index)
{
    CategoryState& s = t_category;
    if (s.depth < kMaxDepth) s.saved[s.depth] = s.current;
    ++s.depth;
    s.current = index;
}

void RestoreCategory()
{
    CategoryState& s = t_category;
    if (s.depth == 0) return;
    --s.depth;
    if (s.depth < kMaxDepth) s.current = s.saved[s.depth];
}
