// Anchor of the core library; the foundation's translation units are listed beside it.
