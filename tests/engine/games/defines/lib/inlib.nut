// Found only through the search path "lib".
::g_fromlib <- 2;
