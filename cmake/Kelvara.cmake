# kv_library(NAME folder DEPS ...): one static library per src/ folder, every .cpp in it
# (and in its subfolders) taken automatically, except module/ subfolders: those are loaded
# at run time and built on their own.
function(kv_library name)
  cmake_parse_arguments(KV "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER srcs EXCLUDE REGEX "/module/")
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${KV_DEPS})
  kv_precompile(${name})
endfunction()

# kv_precompile(target): the common headers of cmake/Precompiled.h, parsed once. With GCC one
# precompiled header serves every library and one every test program (with GoogleTest): a copy
# per target cost 26 headers of 200 MB, a fifth of a cold build. GCC takes a header made with
# more include folders than a file needs, and macros a file defines beyond it; clang refuses
# one made with other macros, so there each target keeps its own.
function(kv_precompile target)
  if(NOT KELVARA_PCH)
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_precompile_headers(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/Precompiled.h)
    return()
  endif()
  set(owner kv_pch)
  set(extra "")
  if(target MATCHES "^test_")
    set(owner kv_pch_tests)
    set(extra GTest::gtest)
  endif()
  if(NOT TARGET ${owner})
    add_library(${owner} OBJECT ${CMAKE_SOURCE_DIR}/cmake/Precompiled.cpp)
    # The include folders of every Qt module, but only Qt Core's macros: GCC refuses the
    # header in a file that lacks a macro defined when it was made.
    target_link_libraries(${owner} PRIVATE Qt6::Core ${extra})
    foreach(module Gui Widgets DBus)
      target_include_directories(${owner} SYSTEM PRIVATE
        $<TARGET_PROPERTY:Qt6::${module},INTERFACE_INCLUDE_DIRECTORIES>)
    endforeach()
    if(extra)
      target_compile_definitions(${owner} PRIVATE KV_PCH_TESTS)
    endif()
    target_precompile_headers(${owner} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/Precompiled.h)
  endif()
  target_precompile_headers(${target} REUSE_FROM ${owner})
endfunction()

# kv_test(folder DEPS ...): one GoogleTest program per tests/ folder.
function(kv_test folder)
  cmake_parse_arguments(KV "" "ENV" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(target test_${folder})
  add_executable(${target} ${srcs})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ${KV_DEPS} kv_testsupport GTest::gtest GTest::gmock)
  target_compile_definitions(${target} PRIVATE
    KV_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}" KV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(${target} kv_data)
  target_compile_definitions(${target} PRIVATE KV_PCH_TESTS)
  kv_precompile(${target})
  # ENV: one more variable, "NAME=set:value"; a second ENVIRONMENT entry would be split off
  # its property by the discovery, which passes the properties as one flat list.
  set(more)
  if(KV_ENV)
    set(more ENVIRONMENT_MODIFICATION "${KV_ENV}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${more})
endfunction()
