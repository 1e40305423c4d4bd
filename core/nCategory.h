#ifndef N_CATEGORY_H
#define N_CATEGORY_H

#include <cstdint>

// The subsystem category the current thread is working for. Allocations and work are
// labelled with it; nothing else depends on its value. Each thread starts in CategoryDefault.
enum nCategory
{
    CategoryDefault = 0,
    CategoryScene = 5,   // the 3D scene and its animation data
    CategoryMixer = 6,   // "mixer"
    CategoryScene2D = 7  // "scene 2d"
};

int32_t GetCategory();              // the calling thread's current category index
void EnterCategory(int32_t index);  // saves the current index and makes index current
void RestoreCategory();             // puts back the index saved by the matching EnterCategory; no-op without one

// Enters a category for the lifetime of the scope, so every way out restores the previous one.
class nCategoryScope
{
public:
    explicit nCategoryScope(int32_t index) { EnterCategory(index); }
    ~nCategoryScope() { RestoreCategory(); }
    nCategoryScope(const nCategoryScope&) = delete;
    nCategoryScope& operator=(const nCategoryScope&) = delete;
};

#endif
