# Installation (GNUInstallDirs) and the Debian package (CPack).
#
#   cmake --install build/release --prefix /usr/local
#   (cd build/release && cpack)        -> windfield_<version>-<revision>_<arch>.deb
#
# Installed: the two programs, the box planner, the fit of the model to measured
# spectra (corvel-fit), the quick-look command, the Python module where it is
# built (python/CMakeLists.txt: into lib/python3/dist-packages/windfield), the manual pages
# (gzip -9n), and under DOCDIR (share/doc/windfield) the README, docs/, the
# examples (parameter files, the terrain file, the batch recipes) with the
# repository's own layout, so that the README's names hold there too, plus the
# Debian copyright file (the licence, Apache-2.0, and the notices of what is
# compiled in), the licence's NOTICE and the changelog (and lintian's override
# of the one tag that is about uploads to Debian's archive). LICENSE itself is
# not installed: Debian keeps the licence's text in
# /usr/share/common-licenses/Apache-2.0, to which the copyright file points.
# The libraries are static and linked in; tests are not installed.
include(GNUInstallDirs)

install(TARGETS vorlan vorlan-plan corvel corvel-fit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/look/vorlan-look DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/NOTICE
              ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME windfield)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md")
# Only the example inputs: outputs a user may have written into examples/
# stay behind.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.inp" PATTERN "*.dat" PATTERN "mast.txt" PATTERN "sonic.txt"
                       PATTERN "spectra.txt" PATTERN "README.md"
        PATTERN "batch" EXCLUDE)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/batch/run_one.sh
                 ${PROJECT_SOURCE_DIR}/examples/batch/run_parallel.sh
                 ${PROJECT_SOURCE_DIR}/examples/batch/slurm_array.sh
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/batch)

# The manual pages and the Debian changelog are compressed when they are
# installed, because only then is the prefix known: the pages name the folder
# of the documents and examples, written /usr/share/doc/windfield in man/ (the
# package's) and rewritten for any other prefix.
find_program(WIND_GZIP gzip)
if(NOT WIND_GZIP)
  message(FATAL_ERROR "gzip is needed to install the manual pages")
endif()
install(CODE "
  set(WIND_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(WIND_STAGE_DIR \"${PROJECT_BINARY_DIR}/install-stage\")
  set(WIND_GZIP \"${WIND_GZIP}\")
  set(WIND_MANDIR \"${CMAKE_INSTALL_MANDIR}\")
  set(WIND_DOCDIR \"${CMAKE_INSTALL_DOCDIR}\")
  set(WIND_MAN_PAGES vorlan.1 vorlan-plan.1 corvel.1 corvel-fit.1 vorlan-look.1)")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallCompressed.cmake)

# The Debian revision is the one of the changelog's latest entry, which must
# be for this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog wind_changelog_top LIMIT_COUNT 1)
if(NOT wind_changelog_top MATCHES "^windfield \\(([^)-]+)-([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line is not a changelog entry's heading")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(WARNING "packaging/changelog: its latest entry is for ${CMAKE_MATCH_1}, the project is "
                  "${PROJECT_VERSION}; add an entry before building the package")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME windfield)
set(CPACK_PACKAGE_CONTACT "windfield maintainers <maintainers@windfield.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "turbulent wind fields for load simulation (vorlan) and their spectra (corvel)")
set(CPACK_PACKAGE_DESCRIPTION
    "vorlan synthesises periodic Gaussian turbulent wind fields from a spectral
velocity tensor model (von Karman tensor distorted by uniform shear, optionally
stretched to follow terrain); corvel evaluates the same model as spectra,
cross-spectra and variances; corvel-fit fits the model to a site's measured
spectra or sonic series; vorlan-plan plans the box for an aeroelastic run;
vorlan-look draws a one-page quick look at a run; the Python module windfield
gives the same as numpy arrays.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The licence, for the generators that carry it (a Debian package says it in
# its copyright file, installed above).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE Apache-2.0)
# The programs need the C and C++ run-times and the compiler's OpenMP
# run-time (and NetCDF's, below); the Python module, where built, the
# interpreter it is built for and numpy (below). The quick-look command also
# needs matplotlib, which the programs never do: recommended, so that apt
# brings it by default and a minimal install can leave it out.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libgomp1")
# vorlan --format netcdf links the NetCDF library where the build found it:
# then the package needs the run-time package that holds it (dpkg says which).
if(WIND_NETCDF_FOUND)
  get_filename_component(wind_netcdf_real ${WIND_NETCDF_LIBRARY} REALPATH)
  execute_process(COMMAND dpkg-query -S ${wind_netcdf_real} OUTPUT_VARIABLE wind_netcdf_owner
                  ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(wind_netcdf_owner MATCHES "^([^:,]+)")
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
  else()
    message(WARNING "no Debian package holds ${wind_netcdf_real}: the package does not name "
                    "the NetCDF run-time its vorlan needs")
  endif()
endif()
if(WIND_PYTHON_MODULE_VERSION)
  # The extension is built for one interpreter version (its file name says
  # which): Debian's python3 of that version.
  string(REGEX MATCH "^[0-9]+\\.([0-9]+)$" wind_py_ok "${WIND_PYTHON_MODULE_VERSION}")
  math(EXPR wind_py_next "${CMAKE_MATCH_1} + 1")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         ", python3 (>= ${WIND_PYTHON_MODULE_VERSION}~), python3 (<< 3.${wind_py_next}), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-matplotlib, python3-netcdf4")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-numpy, python3-matplotlib")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "parallel")
include(CPack)
