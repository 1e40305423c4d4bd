// Included by the project before its script unit starts.
::g_title <- "Crates";
