# Helpers that keep every target of the project built the same way.

# velmora_library(NAME DIR dir [LIBS ...]): a static library from every .cpp in src/<dir>
# (not recursing). Skipped while the folder has no sources yet.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;EXTRA_SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${ARG_DIR}/*.cpp)
  list(APPEND sources ${ARG_EXTRA_SOURCES})
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  foreach(lib ${ARG_LIBS})
    if(TARGET ${lib} OR NOT lib MATCHES "^velmora_")
      target_link_libraries(${name} PUBLIC ${lib})
    endif()
  endforeach()
endfunction()

# velmora_test(NAME SOURCES ... LIBS ... [LABELS ...]): one GoogleTest program, run by ctest
# (under Wine when cross-compiled, through CMAKE_CROSSCOMPILING_EMULATOR).
function(velmora_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "unit;${ARG_LABELS}" TIMEOUT 600)
  velmora_test_target(${name} ${ARG_LABELS})
endfunction()

# velmora_test_target(TARGET [LABELS ...]): puts a test program that ctest runs some other way
# (through a script) into the unit_tests group, and into thread_tests when labelled "threads".
function(velmora_test_target name)
  set_property(GLOBAL APPEND PROPERTY VELMORA_TEST_TARGETS ${name})
  if("threads" IN_LIST ARGN)
    set_property(GLOBAL APPEND PROPERTY VELMORA_THREAD_TEST_TARGETS ${name})
  endif()
endfunction()

# unit_tests and thread_tests: build just the test programs (the sanitizer flavours need no more).
function(velmora_test_groups)
  get_property(all GLOBAL PROPERTY VELMORA_TEST_TARGETS)
  get_property(threaded GLOBAL PROPERTY VELMORA_THREAD_TEST_TARGETS)
  add_custom_target(unit_tests)
  add_custom_target(thread_tests)
  if(all)
    add_dependencies(unit_tests ${all})
  endif()
  if(threaded)
    add_dependencies(thread_tests ${threaded})
  endif()
endfunction()

# velmora_program(NAME SOURCES ... LIBS ...): a tool in tools/.
function(velmora_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# velmora_use_cli11(TARGET): CLI11's headers for a tool. CLI11 is header-only; the compiler gets
# a directory holding just its headers, so that a cross build never sees the rest of the build
# machine's /usr/include.
function(velmora_use_cli11 name)
  set(cli11_include ${CMAKE_BINARY_DIR}/cli11-include)
  if(NOT EXISTS ${cli11_include}/CLI)
    file(MAKE_DIRECTORY ${cli11_include})
    file(CREATE_LINK /usr/include/CLI ${cli11_include}/CLI SYMBOLIC)
  endif()
  target_include_directories(${name} SYSTEM PRIVATE ${cli11_include})
endfunction()
