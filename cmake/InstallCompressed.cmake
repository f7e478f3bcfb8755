# Runs at install time (cmake --install, cpack), after Packaging.cmake has set
# WIND_SOURCE_DIR, WIND_STAGE_DIR (scratch in the build tree), WIND_GZIP,
# WIND_MANDIR, WIND_DOCDIR and WIND_MAN_PAGES. Installs
#   MANDIR/man1/<page>.gz           from man/<page>, naming this install's DOCDIR
#   DOCDIR/changelog.Debian.gz      from packaging/changelog
# compressed with gzip -9n (no name, no time stamp: the same bytes every time).
# file(INSTALL) honours DESTDIR and records the files in the install manifest.

if(IS_ABSOLUTE "${WIND_DOCDIR}")
  set(docdir "${WIND_DOCDIR}")
else()
  set(docdir "${CMAKE_INSTALL_PREFIX}/${WIND_DOCDIR}")
endif()
file(REMOVE_RECURSE "${WIND_STAGE_DIR}")
file(MAKE_DIRECTORY "${WIND_STAGE_DIR}")

function(wind_gzip file)
  execute_process(COMMAND "${WIND_GZIP}" -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed (${status})")
  endif()
endfunction()

foreach(page IN LISTS WIND_MAN_PAGES)
  file(READ "${WIND_SOURCE_DIR}/man/${page}" text)
  string(REPLACE "/usr/share/doc/windfield" "${docdir}" text "${text}")
  file(WRITE "${WIND_STAGE_DIR}/${page}" "${text}")
  wind_gzip("${WIND_STAGE_DIR}/${page}")
  file(INSTALL "${WIND_STAGE_DIR}/${page}.gz"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/${WIND_MANDIR}/man1" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

file(COPY_FILE "${WIND_SOURCE_DIR}/packaging/changelog" "${WIND_STAGE_DIR}/changelog.Debian")
wind_gzip("${WIND_STAGE_DIR}/changelog.Debian")
file(INSTALL "${WIND_STAGE_DIR}/changelog.Debian.gz" DESTINATION "${docdir}"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
