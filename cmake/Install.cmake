# Where the programs find their data, and the rules that install them.
#
# Installed layout (paths under the install prefix):
#   bin/quarvent-batch
#   bin/quarvent-info
#   bin/quarvent-convert-in-parallel    scripts/convert-in-parallel, which finds the two above
#                                       beside itself
#   bin/quarvent                        -> ../libexec/quarvent/quarvent
#   libexec/quarvent/quarvent           the desktop program
#   libexec/quarvent/QUARVENT.HLP       its help file, which lies in the program's own directory
#   share/quarvent/QEXKEYWO.RD          the keyword file    } the "system directory" in which
#   share/quarvent/qexabout.bmp         the About picture   } both are looked for first
#   share/applications/quarvent.desktop
#
# A program run from the build tree uses the source tree's data/ instead; the environment
# variable QUARVENT_SYSTEM_DIR overrides both (common/system_directory.hpp).

set(QUARVENT_PROGRAM_DIR "${CMAKE_INSTALL_LIBEXECDIR}/quarvent")
set(QUARVENT_DATA_DIR "${CMAKE_INSTALL_DATADIR}/quarvent")

# The data directory as seen from each installed program's directory, so that an installed
# tree finds its data wherever the prefix ends up.
file(RELATIVE_PATH quarvent_data_from_bindir "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/quarvent")
file(RELATIVE_PATH quarvent_data_from_programdir "${CMAKE_INSTALL_FULL_LIBEXECDIR}/quarvent"
     "${CMAKE_INSTALL_FULL_DATADIR}/quarvent")
file(RELATIVE_PATH quarvent_program_from_bindir "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_LIBEXECDIR}/quarvent/quarvent")

# Only the file that looks for the data needs its places.
set_property(SOURCE common/system_directory.cpp TARGET_DIRECTORY common APPEND PROPERTY
    COMPILE_DEFINITIONS
    QUARVENT_SOURCE_DATA_DIR="${QUARVENT_SOURCE_DATA_DIR}"
    QUARVENT_DATA_FROM_BINDIR="${quarvent_data_from_bindir}/"
    QUARVENT_DATA_FROM_LIBEXECDIR="${quarvent_data_from_programdir}/")

if(TARGET quarvent)
    # The help file lies beside the program in the build tree too.
    add_custom_target(quarvent_help_file
        COMMAND "${CMAKE_COMMAND}" -E copy_if_different
                "${CMAKE_CURRENT_SOURCE_DIR}/data/QUARVENT.HLP" "$<TARGET_FILE_DIR:quarvent>/"
        DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/data/QUARVENT.HLP"
        COMMENT "Copying the help file beside quarvent"
        VERBATIM)
    add_dependencies(quarvent quarvent_help_file)

    install(TARGETS quarvent RUNTIME DESTINATION "${QUARVENT_PROGRAM_DIR}")
    install(FILES data/QUARVENT.HLP DESTINATION "${QUARVENT_PROGRAM_DIR}")
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quarvent\")
        get_filename_component(link_dir \"\${link}\" DIRECTORY)
        file(MAKE_DIRECTORY \"\${link_dir}\")
        message(STATUS \"Installing: \${link} -> ${quarvent_program_from_bindir}\")
        file(CREATE_LINK \"${quarvent_program_from_bindir}\" \"\${link}\" SYMBOLIC)
    ")
    install(FILES data/quarvent.desktop DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
endif()

if(TARGET quarvent-batch)
    install(TARGETS quarvent-batch RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()
if(TARGET quarvent-info)
    install(TARGETS quarvent-info RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()
if(TARGET quarvent-batch AND TARGET quarvent-info)
    install(PROGRAMS scripts/convert-in-parallel DESTINATION "${CMAKE_INSTALL_BINDIR}"
            RENAME quarvent-convert-in-parallel)
endif()

install(FILES data/qexabout.bmp DESTINATION "${QUARVENT_DATA_DIR}")
install(FILES data/QEXKEYWO.RD DESTINATION "${QUARVENT_DATA_DIR}" OPTIONAL)
