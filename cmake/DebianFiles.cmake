# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files it has installed for the package,
# before it packs them: what Debian's policy asks of every package and a plain install
# leaves alone. Manual pages are compressed (gzip -9n, no name or time in the file); the
# copyright file and a changelog go to /usr/share/doc/quillmark.
find_program(QUILLMARK_GZIP gzip REQUIRED)

set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${usr}/bin")
  message(FATAL_ERROR "DebianFiles: no installed programs in ${usr}")
endif()
file(GLOB pages "${usr}/share/man/man*/*.[0-9]")
foreach(page IN LISTS pages)
  execute_process(COMMAND "${QUILLMARK_GZIP}" -9nf "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "DebianFiles: gzip ${page} failed")
  endif()
endforeach()

set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_QUILLMARK_COPYRIGHT}" "${doc}/copyright")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)  # SOURCE_DATE_EPOCH where set
file(WRITE "${doc}/changelog"
     "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Quillmark ${CPACK_PACKAGE_VERSION}.\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
execute_process(COMMAND "${QUILLMARK_GZIP}" -9nf "${doc}/changelog" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "DebianFiles: gzip ${doc}/changelog failed")
endif()
file(CHMOD "${doc}/copyright" "${doc}/changelog.gz" PERMISSIONS OWNER_READ OWNER_WRITE
     GROUP_READ WORLD_READ)
