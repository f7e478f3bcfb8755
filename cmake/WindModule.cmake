# One static library per folder, built from every .cpp in it except tests and
# program entry points; one GoogleTest executable per folder from its *_test.cpp
# files, and a second one, labelled "slow", from its *_slowtest.cpp files
# (large statistical runs that CI skips). Tests that run across processes
# (*_mpitest.cpp, wind_mpi_tests) are built only where MPI is found.

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
  # Hardening as Debian builds its packages: checked variants of the string
  # and memory functions where the compiler sees the buffer sizes (needs
  # optimisation, so optimised configurations only), stack canaries, and
  # relocations resolved at start and then made read-only. None of it touches
  # the arithmetic: the same bits as without.
  if(WIND_HARDEN AND NOT WIND_SANITIZE)
    set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    target_compile_definitions(${target} PRIVATE "$<${optimised}:_FORTIFY_SOURCE=2>")
    target_compile_options(${target} PRIVATE "$<${optimised}:-fstack-protector-strong>")
    target_link_options(${target} PRIVATE "$<${optimised}:LINKER:-z,relro,-z,now>")
  endif()
  if(WIND_BOUNDS_CHECK OR WIND_SANITIZE)
    target_compile_definitions(${target} PUBLIC WIND_BOUNDS_CHECK=1)
  endif()
endfunction()

# wind_lanes_flags(<target> <source>...): the sources of <target> (and its
# test executable) that compute on numerics/vector_math.hpp's lanes.
function(wind_lanes_flags target)
  set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target}
                              PROPERTIES COMPILE_OPTIONS "-fno-math-errno;-Wno-psabi")
endfunction()

# wind_module(<name> [DEPS <targets>...] [EXCLUDE <regex>]): EXCLUDE leaves out
# the sources whose names match (a second library of the same folder).
function(wind_module name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "(_test|_slowtest|_mpitest|/main|_main)\\.cpp$")
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
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

# wind_mpi_tests(<library> PROCS <n>...): the folder's *_mpitest.cpp files as
# one executable linked against <library> (with tests/mpi_test_main.cpp, whose
# main starts MPI and GoogleTest),
# registered once per process count n as <library>_mpitests_np<n>, run by
# mpiexec. --oversubscribe (Open MPI) allows more processes than cores. Open MPI
# refuses to start as root unless told it may: that permission is given in the
# environment of these tests only, never to the programs. Sanitizer builds
# do not report the MPI library's own allocations still held at exit.
function(wind_mpi_tests lib)
  cmake_parse_arguments(ARG "" "" "PROCS" ${ARGN})
  if(NOT WIND_BUILD_TESTS OR NOT MPI_CXX_FOUND)
    return()
  endif()
  file(GLOB tsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_mpitest.cpp)
  if(NOT tsrcs)
    return()
  endif()
  set(exe ${lib}_mpitests)
  add_executable(${exe} ${tsrcs} ${PROJECT_SOURCE_DIR}/tests/mpi_test_main.cpp)
  # The parallel NetCDF library, not the serial one (cmake/WindNetCDF.cmake).
  set_target_properties(${exe} PROPERTIES WIND_PARALLEL_NETCDF ON)
  target_link_libraries(${exe} PRIVATE ${lib} MPI::MPI_CXX GTest::gtest)
  wind_flags(${exe})
  target_compile_definitions(${exe} PRIVATE WIND_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                           WIND_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1)
  if(WIND_SANITIZE)
    list(APPEND env ASAN_OPTIONS=detect_leaks=0)
  endif()
  foreach(np ${ARG_PROCS})
    add_test(NAME ${exe}_np${np}
             COMMAND ${MPIEXEC_EXECUTABLE} ${MPIEXEC_NUMPROC_FLAG} ${np} --oversubscribe
                     ${MPIEXEC_PREFLAGS} $<TARGET_FILE:${exe}> ${MPIEXEC_POSTFLAGS})
    set_tests_properties(${exe}_np${np} PROPERTIES LABELS mpi PROCESSORS ${np} TIMEOUT 120
                                                   ENVIRONMENT "${env}")
  endforeach()
endfunction()
