// Boot library of the shape-yard game: nothing shared yet.
