# One static library per folder, built from every .cpp in it except tests and
# program entry points; one GoogleTest executable per folder from its *_test.cpp
# files, and a second one, labelled "slow", from its *_slowtest.cpp files
# (large statistical runs that CI skips).

# Reproducible floating point: no fused multiply-add contraction, never
# fast-math, so every build, release or sanitizer, gives the same bits.
function(wind_flags target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wfloat-conversion -ffp-contract=off)
  # Parallel loops: OpenMP from the compiler where it has it (the loops give
  # the same bits for every thread count, and run on one thread without it).
  if(OpenMP_CXX_FOUND)
    target_link_libraries(${target} PUBLIC OpenMP::OpenMP_CXX)
  else()
    target_compile_options(${target} PRIVATE -Wno-unknown-pragmas)
  endif()
  if(WIND_SANITIZE)
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
  if(WIND_BOUNDS_CHECK OR WIND_SANITIZE)
    target_compile_definitions(${target} PUBLIC WIND_BOUNDS_CHECK=1)
  endif()
endfunction()

# wind_module(<name> [DEPS <targets>...])
function(wind_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "(_test|_slowtest|/main|_main)\\.cpp$")
  if(NOT srcs)
    # A folder whose code is all in headers.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    target_compile_features(${name} INTERFACE cxx_std_20)
  else()
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    wind_flags(${name})
  endif()
  wind_tests(${name})
endfunction()

# wind_tests(<library>): tests of the current folder, linked against <library>.
function(wind_tests lib)
  if(NOT WIND_BUILD_TESTS)
    return()
  endif()
  foreach(kind test slowtest)
    file(GLOB tsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_${kind}.cpp)
    if(tsrcs)
      set(exe ${lib}_${kind}s)
      add_executable(${exe} ${tsrcs})
      target_link_libraries(${exe} PRIVATE ${lib} GTest::gtest GTest::gtest_main)
      wind_flags(${exe})
      target_compile_definitions(${exe} PRIVATE WIND_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               WIND_BINARY_DIR="${PROJECT_BINARY_DIR}")
      if(kind STREQUAL "slowtest")
        gtest_discover_tests(${exe} PROPERTIES LABELS slow DISCOVERY_TIMEOUT 60)
      else()
        gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60)
      endif()
    endif()
  endforeach()
endfunction()
