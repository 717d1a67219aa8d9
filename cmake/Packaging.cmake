# What the packages hold and how CPack makes them: a Debian package of velmora-cli on Linux, a
# zip of the two programs for Windows.

# A package holds only the files below, so making one need not wait for the tests and benchmarks:
# cpack installs what velmora-package-files has built (scripts/make-packages.sh builds it first).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(velmora-package-files)

set(VELMORA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
# All four parts: CPack would drop the tweak.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "write firmware into an H8SX/1520R over its serial boot mode")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # The programs and their text side by side: nothing to install on the Windows side.
    install(TARGETS Velmora RUNTIME DESTINATION .)
    add_dependencies(velmora-package-files Velmora)
    if(TARGET velmora-cli)
        install(TARGETS velmora-cli RUNTIME DESTINATION .)
        add_dependencies(velmora-package-files velmora-cli)
    endif()
    # CR LF, so that Notepad shows its lines; the source stays LF like every other file.
    configure_file(${VELMORA_PACKAGING_DIR}/windows-readme.txt.in
        ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME Velmora)
else()
    if(NOT TARGET velmora-cli)
        message(STATUS "No Debian package: velmora-cli is not built")
        return()
    endif()
    include(GNUInstallDirs)
    install(TARGETS velmora-cli velmora-board-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # Debian installs manual pages compressed; -n keeps the build time out of the file.
    find_program(VELMORA_GZIP gzip REQUIRED)
    set(page ${PROJECT_BINARY_DIR}/packaging/velmora-cli.1)
    configure_file(${VELMORA_PACKAGING_DIR}/velmora-cli.1.in ${page}.in @ONLY)
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${page}.in ${page}
        COMMAND ${VELMORA_GZIP} -9 -n -f ${page}
        DEPENDS ${page}.in
        COMMENT "Compressing the manual page velmora-cli(1)"
        VERBATIM)
    add_custom_target(velmora-cli-man-page ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${VELMORA_PACKAGING_DIR}/velmora-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME velmora-cli)
    add_dependencies(velmora-package-files velmora-cli velmora-board-sim velmora-cli-man-page)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME velmora-cli)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Without it a fresh Debian loads no completion at all.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
    # The extended description as Debian shows it: lines of its own width, an empty one between
    # paragraphs.
    string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "velmora-cli programs a firmware image (Motorola S-records, Intel HEX, ELF"
        "or a raw binary) into the flash of a Renesas H8SX/1520R microcontroller"
        "through the chip's serial boot mode, from a terminal: it matches the bit"
        "rate, runs the boot program's inquiries, erases the flash, sends the image"
        "in 128-byte blocks, can verify it or read it back, and restarts the board."
        "Several boards can be programmed at once; --json reports every event as"
        "JSON Lines."
        ""
        "The package also holds velmora-board-sim, a simulated board on a"
        "pseudo-terminal for trying velmora-cli without hardware.")
endif()

include(CPack)
