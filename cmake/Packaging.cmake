# Packages: a Debian package of both programs on Linux, and a ZIP archive of veskparser-sweep.exe
# for Windows.
#   cmake --build build --target package
set(CPACK_PACKAGE_NAME veskparser)
set(CPACK_PACKAGE_VERSION ${VESK_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "VESK")
set(CPACK_PACKAGE_CONTACT "VESK Parser developers <op@vesk.test>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gathers cheater findings from game server logs")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "veskparser-sweep-${CPACK_PACKAGE_VERSION}-windows-x86_64")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/README.txt.in
                   ${CMAKE_BINARY_DIR}/generated/README.txt @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/generated/README.txt DESTINATION .)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # Wine's MS Sans Serif gives the window its original face and sizes.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wine)
    set(CPACK_PACKAGE_DESCRIPTION
        "Game servers write text logs in which a line beginning with \"ScriptLog: ####\"\n"
        "is followed by a line that records a cheater finding. VESK Parser copies those\n"
        "findings from every log of a folder into one report a day,\n"
        "VOReradivu_yyyy-mm-dd.log, from a window (veskparser) or from a shell and\n"
        "cron (veskparser-sweep).")
    string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")

    include(GNUInstallDirs)
    set(doc ${CMAKE_INSTALL_DATADIR}/doc/veskparser)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${doc})
    # Debian keeps manual pages and changelogs compressed, without time stamps. They carry the
    # project's version, filled in here.
    set(compressed ${CMAKE_BINARY_DIR}/compressed)
    set(gzipped)
    foreach(source cli/veskparser-sweep.1 app/veskparser.1 cmake/debian/changelog)
        get_filename_component(name ${source} NAME)
        set(filled ${CMAKE_BINARY_DIR}/generated/${name})
        configure_file(${PROJECT_SOURCE_DIR}/${source}.in ${filled} @ONLY)
        add_custom_command(OUTPUT ${compressed}/${name}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
            COMMAND gzip -9nc ${filled} > ${compressed}/${name}.gz
            DEPENDS ${filled} VERBATIM)
        list(APPEND gzipped ${compressed}/${name}.gz)
    endforeach()
    add_custom_target(compressed_docs ALL DEPENDS ${gzipped})
    install(FILES ${compressed}/veskparser-sweep.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    if(TARGET veskparser)
        install(FILES ${compressed}/veskparser.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
    install(FILES ${compressed}/changelog.gz DESTINATION ${doc})
    # systemd's units, templates whose instance is the folder (systemd-escape -p): the same files
    # for a user's manager and for the system's, where a drop-in names the account.
    foreach(manager user system)
        install(FILES ${PROJECT_SOURCE_DIR}/cmake/systemd/veskparser-follow@.service
                      ${PROJECT_SOURCE_DIR}/cmake/systemd/veskparser-sweep@.service
                      ${PROJECT_SOURCE_DIR}/cmake/systemd/veskparser-sweep@.timer
                DESTINATION lib/systemd/${manager})
    endforeach()
endif()

include(CPack)
