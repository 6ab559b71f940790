# Installation of the programs that other folders do not install themselves, the desktop
# entries, icons, AppStream metadata, manual pages and the user guide, in the usual Linux
# layout (GNUInstallDirs): programs in bin/, which is ProgDir (velquin-tool setup defaults to
# its own folder); the guide in share/doc/velquin/, where the program looks beside ProgDir.
set(VELQUIN_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/velquin)
set(VELQUIN_LIBEXECDIR lib/velquin)

# A desktop entry naming its program by full path: the prefix need not be on PATH. Written at
# install time, when the prefix is known, and listed in install_manifest.txt.
function(_velquin_install_desktop file program)
    install(CODE "
        file(READ \"${PROJECT_SOURCE_DIR}/docs/help/${file}\" _entry)
        string(REPLACE \"Exec=${program}\"
               \"Exec=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
               _entry \"\${_entry}\")
        set(_to \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/${file}\")
        message(STATUS \"Installing: \$ENV{DESTDIR}\${_to}\")
        file(WRITE \"\$ENV{DESTDIR}\${_to}\" \"\${_entry}\")
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_to}\")
    ")
endfunction()

if(TARGET velquin)
    install(TARGETS velquin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    _velquin_install_desktop(velquin.desktop velquin)
    set(_icons ${PROJECT_SOURCE_DIR}/src/gui/icons/hicolor)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${_icons}/velquin-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME velquin.png)
    endforeach()
    install(FILES ${_icons}/velquin.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/package/ru.ostrevo.Velquin.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
if(TARGET TWTiffView)
    _velquin_install_desktop(twtiffview.desktop TWTiffView)
endif()
# The service simulator serves the demo the window starts; it is no command for users' PATH.
if(TARGET faxsim)
    install(TARGETS faxsim RUNTIME DESTINATION ${VELQUIN_LIBEXECDIR})
endif()

# Manual pages of the programs, with the project's version.
foreach(page velquin velquin-tool velquin-print TWTiffView)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1
                   @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The user guide: an HTML page with its pictures, and the same as one MHTML file, made from
# docs/help/ and the screenshots in docs/. In the build tree it lands in Help/ beside
# velquin-tool, the ProgDir of a development setup.
find_program(VELQUIN_BASE64 base64)
if(VELQUIN_BASE64)
    set(_help_dir ${PROJECT_BINARY_DIR}/tools/velquin-tool/Help)
    set(_help ${_help_dir}/TWVelquin.MHT)
    file(GLOB _help_inputs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/help/*.html
         ${PROJECT_SOURCE_DIR}/docs/help/*.png ${PROJECT_SOURCE_DIR}/docs/*.png)
    # One guide per language: TWVelquin.html (Russian) and TWVelquin.en.html (English).
    set(_help_outputs)
    # One after the other: both copy the same pictures into Help/.
    set(_after)
    foreach(_lang "" ".en")
        set(_mht ${_help_dir}/TWVelquin${_lang}.MHT)
        add_custom_command(
            OUTPUT ${_mht} ${_help_dir}/TWVelquin${_lang}.html
            COMMAND ${CMAKE_COMMAND} -E make_directory ${_help_dir}
            COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/make-help
                    ${PROJECT_SOURCE_DIR}/docs/help/TWVelquin${_lang}.html ${_mht} ${_help_dir}
            DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make-help ${_help_inputs} ${_after}
            COMMENT "Making the user guide Help/TWVelquin${_lang}.html and its MHTML file"
            VERBATIM)
        list(APPEND _help_outputs ${_mht})
        set(_after ${_mht})
    endforeach()
    add_custom_target(velquin_help ALL DEPENDS ${_help_outputs})
    install(DIRECTORY ${_help_dir}/ DESTINATION ${VELQUIN_DOCDIR})
else()
    message(WARNING "base64 not found: the user guide is not built")
endif()

# The package's copyright and history, where Debian keeps them.
configure_file(${PROJECT_SOURCE_DIR}/docs/package/changelog.in ${PROJECT_BINARY_DIR}/changelog
               @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/docs/package/copyright ${PROJECT_BINARY_DIR}/changelog
        DESTINATION ${VELQUIN_DOCDIR})

# A Debian package of all of it: cmake --build build/default --target package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velquin)
set(CPACK_PACKAGE_VENDOR "TW Ostrevo")
set(CPACK_PACKAGE_CONTACT "Velquin developers <velquin@ostrevo.ru>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client of an Internet fax service")
set(CPACK_PACKAGE_DESCRIPTION "Velquin lists documents printed to its fax printer as new faxes,
sends them to numbers, address-book contacts and groups or phone lists, and
follows every job until it is delivered. It keeps sent faxes, saved documents
and address books on disk.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The TIFF plugin draws the send dialogs' thumbnails; DejaVu gives the proof PDF its Cyrillic;
# the system's certificates verify an https:// service.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ghostscript, xdg-utils, qt6-qpa-plugins, qt6-image-formats-plugins, fonts-dejavu-core, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups-daemon, cups-client, cups-filters, cups-core-drivers")
# The print queue comes and goes with the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/docs/package/postinst
                                       ${PROJECT_SOURCE_DIR}/docs/package/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian's rules for the files themselves, applied to the staging folder.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/VelquinDebianFiles.cmake)
include(CPack)
