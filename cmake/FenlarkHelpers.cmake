# fenlark_library(<name> LIBS <libs...> [EXCLUDE <files...>])
# One static library per source folder: every .cpp/.h/.ui/.qrc of the calling
# folder is part of it, so adding a file needs no CMake change.
function(fenlark_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.ui" "${CMAKE_CURRENT_SOURCE_DIR}/*.qrc")
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${excluded}")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# fenlark_test(<name> LIBS <libs...> [NO_QT] [TIMEOUT <seconds>] [LARGE <test name prefixes...>])
# One GoogleTest executable per test folder, from every .cpp in it. Each test
# case becomes its own CTest entry, so its own process; GUI tests run on the
# offscreen platform. NO_QT is for suites that use no Qt: their main starts no
# QApplication and the executable loads no Qt library, which every one of
# their test processes would otherwise pay for at start and at exit.
# LARGE names the test cases (by the start of their CTest names) that write
# hundreds of megabytes or hold gigabytes: they never run beside one another,
# whatever -j the run is given, so none of them waits out its watchdog behind
# the others' disk and memory.
function(fenlark_test name)
  cmake_parse_arguments(ARG "NO_QT" "TIMEOUT" "LIBS;LARGE" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  # Only the shared libraries the suite calls into are loaded: a library the
  # link line names but no linked code uses (GDAL, for suites whose data-layer
  # code never reaches it) costs every test process its loading.
  target_link_options(${name} PRIVATE "LINKER:--as-needed")
  if(ARG_NO_QT)
    target_link_libraries(${name} PRIVATE fenlark_test_main_plain ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    # A position-dependent executable needs no relocation of its own data at
    # start: with the sanitizers' metadata that is some 150 000 relocations
    # per process. (Not for Qt suites: code calling a Qt built with reduced
    # relocations must be position-independent.)
    target_link_options(${name} PRIVATE "-no-pie")
  else()
    target_link_libraries(${name} PRIVATE fenlark_test_main ${ARG_LIBS})
  endif()
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # The environment of every test case. It is set by a script of its own that
  # CTest runs after the discovery: gtest_discover_tests' PROPERTIES would
  # split the list and keep the first variable only.
  # Test processes run side by side: two OpenMP threads each, and a thread
  # that waits at a barrier sleeps instead of spinning on a core that another
  # test process needs.
  set(environment
      "QT_QPA_PLATFORM=offscreen"
      "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1"
      "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "OMP_NUM_THREADS=2"
      "OMP_WAIT_POLICY=passive")
  set(environment_script "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
  file(WRITE "${environment_script}"
       "if(${name}_TESTS)\n"
       "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${environment}]==])\n"
       "  set(large [==[${ARG_LARGE}]==])\n"
       "  foreach(test IN LISTS ${name}_TESTS)\n"
       "    foreach(prefix IN LISTS large)\n"
       "      string(FIND \"\${test}\" \"\${prefix}\" at)\n"
       "      if(at EQUAL 0)\n"
       "        set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_LOCK fenlark_large_files PROCESSORS 2)\n"
       "      endif()\n"
       "    endforeach()\n"
       "  endforeach()\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${environment_script}")
endfunction()
