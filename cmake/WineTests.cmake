# Every test run works in a fresh Wine prefix inside the build tree, made by the
# "wine_prefix" fixture, which also keeps one wineserver alive until "wine_prefix_stop".

set(VTL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VTL_WINE_ENVIRONMENT
  "WINEPREFIX=${VTL_WINE_PREFIX}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "VTL_ARCH=${VTL_ARCH}")

function(vtl_add_prefix_fixture)
  add_test(NAME wine_prefix
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh create ${VTL_WINE_PREFIX} ${VTL_ARCH})
  add_test(NAME wine_prefix_stop
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${VTL_WINE_PREFIX} ${VTL_ARCH})
  set_tests_properties(wine_prefix PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${VTL_WINE_ENVIRONMENT}" SKIP_RETURN_CODE 77)
  set_tests_properties(wine_prefix_stop PROPERTIES
    FIXTURES_CLEANUP wine ENVIRONMENT "${VTL_WINE_ENVIRONMENT}")
endfunction()

# vtl_add_wine_test(<name> COMMAND <target or program> [args...]
#                   [LABELS ...] [ENVIRONMENT VAR=value ...])
# A COMMAND that names a Windows target runs under the build's Wine loader; a script runs as
# it is and finds the prefix in WINEPREFIX. Exit code 77 reports a skip.
function(vtl_add_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 T "" "" "COMMAND;LABELS;ENVIRONMENT")
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "${VTL_WINE_ENVIRONMENT};${T_ENVIRONMENT}"
    ENVIRONMENT_MODIFICATION "DISPLAY=unset:"
    SKIP_RETURN_CODE 77
    LABELS "${VTL_ARCH};${T_LABELS}")
endfunction()
