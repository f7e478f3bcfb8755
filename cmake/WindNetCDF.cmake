# NetCDF, optional like MPI: found, the NetCDF file of `--format netcdf` is
# built; not found, the format is refused with a message that says the build
# lacks it.
#
#   serial    Debian's libnetcdf-dev: netcdf.h and libnetcdf, for vorlan and
#             everything else that writes a whole box in one process;
#   parallel  Debian's libnetcdf-mpi-dev (NetCDF-4 over parallel HDF5):
#             netcdf_par.h beside its own netcdf.h and libnetcdf_mpi, for
#             vorlan-mpi (searched only where MPI is found).
#
# The two libraries export the same C functions, so no program may link both.
# The target wind_netcdf is what the code that calls them links; it resolves
# to the parallel library for a program whose property WIND_PARALLEL_NETCDF is
# ON (vorlan-mpi and the tests across processes) and to the serial one for the
# others, through the consuming target's property. The header of the serial
# library serves both: netcdf.h is the same in the two packages (only
# netcdf_meta.h's parallel flags differ), and the parallel calls are declared
# in netcdf_par.h, which only distributed/ includes.
#
# Only libnetcdf itself is linked (not the HDF5 and compression libraries it
# loads), so the programs need exactly the NetCDF run-time package.
find_path(WIND_NETCDF_INCLUDE_DIR netcdf.h)
find_library(WIND_NETCDF_LIBRARY NAMES netcdf)
set(WIND_NETCDF_FOUND FALSE)
if(WIND_NETCDF_INCLUDE_DIR AND WIND_NETCDF_LIBRARY)
  set(WIND_NETCDF_FOUND TRUE)
  add_library(wind_netcdf_serial UNKNOWN IMPORTED GLOBAL)
  set_target_properties(wind_netcdf_serial PROPERTIES
    IMPORTED_LOCATION ${WIND_NETCDF_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${WIND_NETCDF_INCLUDE_DIR})
endif()

set(WIND_PARALLEL_NETCDF_FOUND FALSE)
if(WIND_NETCDF_FOUND AND MPI_CXX_FOUND)
  find_path(WIND_NETCDF_PAR_INCLUDE_DIR netcdf_par.h
            PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/netcdf/mpi/include)
  find_library(WIND_NETCDF_PAR_LIBRARY NAMES netcdf_mpi)
  if(WIND_NETCDF_PAR_INCLUDE_DIR AND WIND_NETCDF_PAR_LIBRARY)
    set(WIND_PARALLEL_NETCDF_FOUND TRUE)
    add_library(wind_netcdf_parallel UNKNOWN IMPORTED GLOBAL)
    set_target_properties(wind_netcdf_parallel PROPERTIES
      IMPORTED_LOCATION ${WIND_NETCDF_PAR_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${WIND_NETCDF_PAR_INCLUDE_DIR})
  endif()
endif()

add_library(wind_netcdf INTERFACE)
if(WIND_NETCDF_FOUND)
  target_compile_definitions(wind_netcdf INTERFACE WIND_HAS_NETCDF=1)
  if(WIND_PARALLEL_NETCDF_FOUND)
    set(wind_parallel "$<BOOL:$<TARGET_PROPERTY:WIND_PARALLEL_NETCDF>>")
    target_link_libraries(wind_netcdf INTERFACE
      "$<IF:${wind_parallel},wind_netcdf_parallel,wind_netcdf_serial>")
  else()
    target_link_libraries(wind_netcdf INTERFACE wind_netcdf_serial)
  endif()
endif()
message(STATUS "NetCDF: ${WIND_NETCDF_FOUND}, parallel NetCDF for vorlan-mpi: "
               "${WIND_PARALLEL_NETCDF_FOUND}")
