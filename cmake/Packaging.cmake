# Installation (GNUInstallDirs) and the Debian package (CPack).
#
#   cmake --install build/release --prefix /usr/local
#   (cd build/release && cpack)        -> windfield_<version>_<arch>.deb
#
# Installed: the two programs, the box planner, the quick-look command and the man pages. The
# libraries are static and linked in; tests and examples are not installed.
include(GNUInstallDirs)

install(TARGETS vorlan vorlan-plan corvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/look/vorlan-look DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/vorlan.1 ${PROJECT_SOURCE_DIR}/man/corvel.1
              ${PROJECT_SOURCE_DIR}/man/vorlan-look.1 ${PROJECT_SOURCE_DIR}/man/vorlan-plan.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/corvel.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME windfield)
set(CPACK_PACKAGE_CONTACT "windfield maintainers <windfield@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "turbulent wind fields for load simulation (vorlan) and their spectra (corvel)")
set(CPACK_PACKAGE_DESCRIPTION
    "vorlan synthesises periodic Gaussian turbulent wind fields from a spectral
velocity tensor model (von Karman tensor distorted by uniform shear, optionally
stretched to follow terrain); corvel evaluates the same model as spectra,
cross-spectra and variances; vorlan-look draws a one-page quick look at a run.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The programs need only the C and C++ run-times and the compiler's OpenMP
# run-time; the quick-look command needs Python with numpy and matplotlib,
# which the programs never do: recommended, so that apt brings them by default
# and a minimal install can leave them out.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libgomp1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-numpy, python3-matplotlib")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "parallel")
include(CPack)
