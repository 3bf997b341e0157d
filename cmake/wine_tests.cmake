# Tests that run Windows programs of this build under Wine.
#
# The 32-bit build's programs run only on hosts that can execute 32-bit x86
# code; elsewhere each of its Wine tests is reported to CTest as skipped, with
# the reason, never as passed (tests/wine/needs-wine32, exit value 77). The
# 64-bit build's programs run on every host, in 64-bit prefixes of their own.
# Prefixes, fixtures and locks carry the build's bits in their names, so the
# two builds' tests can run side by side in one CTest run.

# The 64-bit build's test names end in _x64; the 32-bit build's have no ending.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(BASELINE_BITS 64)
  set(BASELINE_WINE_ARCH win64)
  set(BASELINE_TEST_SUFFIX _x64)
else()
  set(BASELINE_BITS 32)
  set(BASELINE_WINE_ARCH win32)
  set(BASELINE_TEST_SUFFIX "")
endif()
set(BASELINE_PREFIXES ${CMAKE_BINARY_DIR}/wine)
# What tests/wine/probe-wine32 found for this test run (scripts/test asks once).
set(BASELINE_WINE32_RECORD ${CMAKE_BINARY_DIR}/../wine32-host)
set(BASELINE_NEEDS_WINE32 ${CMAKE_SOURCE_DIR}/tests/wine/needs-wine32 ${BASELINE_WINE32_RECORD})
set(BASELINE_RUN_IN_PREFIX ${CMAKE_SOURCE_DIR}/tests/wine/run-in-prefix)

# baseline_wine_test(NAME name PREFIX kind [WINE32] [TIMEOUT seconds] [COST seconds]
#                    [ENVIRONMENT var=value...] COMMAND command...)
# The test is called name plus the build's ending. PREFIX is the kind of
# prefix the test uses and locks; WINE32 marks a test that needs a 32-bit
# program even in the 64-bit build. COST, the seconds a test usually takes,
# makes CTest start the long ones first, so that they run beside the short.
function(baseline_wine_test)
  cmake_parse_arguments(T "WINE32" "NAME;PREFIX;TIMEOUT;COST" "ENVIRONMENT;COMMAND" ${ARGN})
  set(command ${T_COMMAND})
  if(T_WINE32 OR BASELINE_BITS EQUAL 32)
    set(command ${BASELINE_NEEDS_WINE32} ${command})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(name ${T_NAME}${BASELINE_TEST_SUFFIX})
  add_test(NAME ${name} COMMAND ${command})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefixes${BASELINE_BITS}
    RESOURCE_LOCK prefix${BASELINE_BITS}_${T_PREFIX}
    SKIP_RETURN_CODE 77
    TIMEOUT ${T_TIMEOUT})
  if(T_COST)
    set_tests_properties(${name} PROPERTIES COST ${T_COST})
  endif()
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# Making this build's prefixes, once per build tree, before any test that uses them.
function(baseline_wine_prefixes)
  set(command ${CMAKE_SOURCE_DIR}/tests/wine/make-prefixes ${BASELINE_PREFIXES} ${BASELINE_WINE_ARCH})
  if(BASELINE_BITS EQUAL 32)
    set(command ${BASELINE_NEEDS_WINE32} ${command})
  endif()
  add_test(NAME wine_prefixes${BASELINE_TEST_SUFFIX} COMMAND ${command})
  set_tests_properties(wine_prefixes${BASELINE_TEST_SUFFIX} PROPERTIES
    FIXTURES_SETUP wine_prefixes${BASELINE_BITS} SKIP_RETURN_CODE 77 TIMEOUT 600)
endfunction()
