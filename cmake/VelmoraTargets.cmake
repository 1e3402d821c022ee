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
endfunction()

# velmora_program(NAME SOURCES ... LIBS ...): a tool in tools/.
function(velmora_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
