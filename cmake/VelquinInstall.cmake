# Installation of the programs that other folders do not install themselves, the desktop
# entry and the user guide. The layout puts every program in bin/, which becomes ProgDir
# (velquin-tool setup defaults to its own folder), with the guide in bin/Help/ where the
# user guide command looks for it.
# A desktop entry naming its program by full path: the prefix need not be on PATH.
function(_velquin_install_desktop file program)
    install(CODE "
        file(READ \"${PROJECT_SOURCE_DIR}/docs/help/${file}\" _entry)
        string(REPLACE \"Exec=${program}\" \"Exec=\${CMAKE_INSTALL_PREFIX}/bin/${program}\"
               _entry \"\${_entry}\")
        set(_to \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/${file}\")
        message(STATUS \"Installing: \${_to}\")
        file(WRITE \"\${_to}\" \"\${_entry}\")
    ")
endfunction()

if(TARGET velquin)
    install(TARGETS velquin RUNTIME DESTINATION bin)
    _velquin_install_desktop(velquin.desktop velquin)
    install(FILES ${PROJECT_SOURCE_DIR}/src/gui/icons/app.png DESTINATION share/pixmaps
            RENAME velquin.png)
endif()
if(TARGET TWTiffView)
    _velquin_install_desktop(twtiffview.desktop TWTiffView)
endif()
if(TARGET faxsim)
    install(TARGETS faxsim RUNTIME DESTINATION bin)
endif()

# The user guide: one MHTML file made from docs/help/ and the screenshots in docs/. In the
# build tree it lands beside velquin-tool, the ProgDir of a development setup.
find_program(VELQUIN_BASE64 base64)
if(VELQUIN_BASE64)
    set(_help_dir ${PROJECT_BINARY_DIR}/tools/velquin-tool/Help)
    set(_help ${_help_dir}/TWVelquin.MHT)
    file(GLOB _help_inputs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/help/*.html
         ${PROJECT_SOURCE_DIR}/docs/help/*.png ${PROJECT_SOURCE_DIR}/docs/*.png)
    add_custom_command(
        OUTPUT ${_help}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_help_dir}
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/make-help
                ${PROJECT_SOURCE_DIR}/docs/help/TWVelquin.html ${_help}
        DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make-help ${_help_inputs}
        COMMENT "Making the user guide Help/TWVelquin.MHT"
        VERBATIM)
    add_custom_target(velquin_help ALL DEPENDS ${_help})
    install(FILES ${_help} DESTINATION bin/Help)
else()
    message(WARNING "base64 not found: the user guide is not built")
endif()
