# Manual pages, the icon and the desktop metadata, and the Debian package made from the
# installed tree by CPack (`cpack -G DEB` in a build directory; scripts/make-package does
# the whole of it).
#
# Installed, beside what Install.cmake installs (paths under the install prefix):
#   share/man/man1/quarvent.1.gz, quarvent-batch.1.gz, quarvent-info.1.gz,
#                  quarvent-convert-in-parallel.1.gz
#                                                         from docs/man/*.scd, by scdoc
#   share/man/man5/QEXKEYWO.RD.5.gz
#   share/icons/hicolor/scalable/apps/quarvent.svg        drawn by hand
#   share/icons/hicolor/NxN/apps/quarvent.png             rendered from it by rsvg-convert
#   share/metainfo/org.quarvent.Quarvent.metainfo.xml
#   share/doc/quarvent/copyright, changelog.gz

# Directories made by the install rules are 755 whatever the umask, as packages expect.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(quarvent_docs_dir "${CMAKE_CURRENT_BINARY_DIR}/docs")
file(MAKE_DIRECTORY "${quarvent_docs_dir}")
set(quarvent_generated_docs)

# Manual pages: scdoc source -> roff -> gzip -9n (no name or time stamp in the archive, so
# the package is reproducible).
find_program(QUARVENT_SCDOC scdoc)
find_program(QUARVENT_GZIP gzip)
if(QUARVENT_SCDOC AND QUARVENT_GZIP)
    foreach(page quarvent.1 quarvent-batch.1 quarvent-info.1 quarvent-convert-in-parallel.1
                 QEXKEYWO.RD.5)
        set(source "${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.scd")
        set(output "${quarvent_docs_dir}/${page}.gz")
        add_custom_command(OUTPUT "${output}"
            COMMAND "${QUARVENT_SCDOC}" < "${source}" > "${quarvent_docs_dir}/${page}"
            COMMAND "${QUARVENT_GZIP}" -9nf "${quarvent_docs_dir}/${page}"
            DEPENDS "${source}"
            COMMENT "Writing the manual page ${page}"
            VERBATIM)
        list(APPEND quarvent_generated_docs "${output}")
        string(REGEX MATCH "[0-9]$" section "${page}")
        install(FILES "${output}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
    endforeach()
else()
    message(STATUS "scdoc or gzip not found: the manual pages are not built")
endif()

# The application icon in the sizes desktops look for.
set(icon_source "${CMAKE_CURRENT_SOURCE_DIR}/data/icons/quarvent.svg")
install(FILES "${icon_source}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
find_program(QUARVENT_RSVG_CONVERT rsvg-convert)
if(QUARVENT_RSVG_CONVERT)
    foreach(size 16 24 32 48 64 128 256)
        set(output "${quarvent_docs_dir}/icons/${size}x${size}/quarvent.png")
        add_custom_command(OUTPUT "${output}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${quarvent_docs_dir}/icons/${size}x${size}"
            COMMAND "${QUARVENT_RSVG_CONVERT}" -w ${size} -h ${size} -o "${output}" "${icon_source}"
            DEPENDS "${icon_source}"
            COMMENT "Rendering the ${size}x${size} icon"
            VERBATIM)
        list(APPEND quarvent_generated_docs "${output}")
        install(FILES "${output}"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
    endforeach()
else()
    message(STATUS "rsvg-convert not found: only the scalable icon is installed")
endif()

# The changelog, compressed as Debian expects it beside the copyright file.
set(changelog "${quarvent_docs_dir}/changelog.gz")
add_custom_command(OUTPUT "${changelog}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_CURRENT_SOURCE_DIR}/docs/package/changelog"
            "${quarvent_docs_dir}/changelog"
    COMMAND "${QUARVENT_GZIP}" -9nf "${quarvent_docs_dir}/changelog"
    DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/docs/package/changelog"
    VERBATIM)
list(APPEND quarvent_generated_docs "${changelog}")

add_custom_target(quarvent_docs ALL DEPENDS ${quarvent_generated_docs})

install(FILES data/org.quarvent.Quarvent.metainfo.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES docs/package/copyright "${changelog}"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvent)
set(CPACK_PACKAGE_VENDOR "Quarvent developers")
set(CPACK_PACKAGE_CONTACT "Quarvent developers <developers@quarvent.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quarvent developers <developers@quarvent.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert SEG-2 seismic field recordings into a QEX trace file")
set(CPACK_PACKAGE_DESCRIPTION_FILE "${CMAKE_CURRENT_SOURCE_DIR}/docs/package/description")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quarvent.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# quarvent-convert-in-parallel runs its chunks through GNU parallel.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS parallel)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR OFF)
include(CPack)
