// Boot library of the demo: shared helpers for its scripts.
::g_demo_version <- "1";

// Seconds as text with two decimals.
function DemoSeconds(s) {
  return format("%.2f", s);
}
