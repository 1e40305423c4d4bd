#ifndef N_RESOURCELOADER_H
#define N_RESOURCELOADER_H

#include <cstdint>

class nOrvex;
class nGeometry;
class nTexture;
class nPicture;
class nSound;

// The engine's loaders of named resources, which the engine hub's loader operations forward to;
// the geometry and material readers load LOD and shadow proxies and stage textures through them
// too, and so does the Bullet world the geometries of its convex and mesh shapes.
// Each works on the engine's current resource cache (none: nothing is cached), drives the
// engine's hooks, core listeners and progress interface, and sets fresh geometries, textures
// and sounds up when the engine's automatic set-up is on. Resources are named with the
// normalised form of the name asked for, so every spelling of one path shares one entry.
// A NULL name gives NULL; otherwise only an allocation failure does: a missing or unreadable
// file still gives an (empty) object, cached like any other. Cached objects are returned
// without a new reference: a caller that keeps one takes its own. Main thread only.

// collision: the list of geometries used only for collision shapes, never set up.
// bypass: neither read nor add to the cache.
nGeometry* LoadGeometry(nOrvex* engine, const char* name, bool collision, bool bypass);
// secondary: the second texture list, never set up.
nTexture* LoadTexture(nOrvex* engine, const char* name, bool secondary, bool bypass);
nPicture* LoadPicture(nOrvex* engine, const char* name, bool bypass);  // no file search, no missing-file hook
// Always cached; without a current cache the caller owns the sound.
nSound* LoadSound(nOrvex* engine, const char* name);
// Names the texture after path and fills it from the picture codecs, else from the current
// renderer; hook 5 on success.
bool SetTextureContent(nOrvex* engine, nTexture* texture, const char* path);

#endif
