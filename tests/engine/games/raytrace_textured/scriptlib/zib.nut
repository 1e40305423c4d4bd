// Boot library of the test games: nothing to prepare.
::g_booted <- true;
