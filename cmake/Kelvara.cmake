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

# kv_precompile(target): the common headers of cmake/Precompiled.h, parsed once for the target.
function(kv_precompile target)
  if(KELVARA_PCH)
    target_precompile_headers(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/Precompiled.h)
  endif()
endfunction()

# kv_test(folder DEPS ...): one GoogleTest program per tests/ folder.
function(kv_test folder)
  cmake_parse_arguments(KV "" "" "DEPS" ${ARGN})
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
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
