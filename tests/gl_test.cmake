# qz_add_gl_test(<name> SOURCES <files...> LIBS <libs...>)
# As qz_add_test, for tests that open an OpenGL context: software rendering for repeatable
# pixels, and the driver's own leaks (lsan.supp) kept out of the sanitizer report.
find_package(SDL2 REQUIRED)
find_package(OpenGL REQUIRED)
function(qz_add_gl_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qz_testsupport GTest::gtest GTest::gtest_main
                        SDL2::SDL2 OpenGL::GL)
  qz_install_shader_library(${name})
  # Each property takes one entry: a list would be split by the test discovery.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES
      ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
      ENVIRONMENT_MODIFICATION "LIBGL_ALWAYS_SOFTWARE=set:1"
      LABELS gl)
endfunction()
