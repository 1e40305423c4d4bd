// Boot library of the terrain-field game: nothing shared yet.
