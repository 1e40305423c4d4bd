// Boot library of the mesh-ground game: nothing shared yet.
