::g_extra <- "extra";
