# Run by CPack on its staging folder before the package is made: Debian wants manual pages and
# the changelog compressed reproducibly, no compiler notes in the programs, the user guide
# registered with doc-base, and the overrides that say why the CUPS backend is not
# world-executable.
set(_root "${CPACK_TEMPORARY_DIRECTORY}/usr")
file(GLOB _compress "${_root}/share/man/man1/*.1" "${_root}/share/doc/velquin/changelog")
foreach(_f IN LISTS _compress)
    execute_process(COMMAND gzip -9nf "${_f}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB _programs "${_root}/bin/*" "${_root}/lib/velquin/*")
foreach(_f IN LISTS _programs)
    execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note "${_f}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(WRITE "${_root}/share/lintian/overrides/velquin"
     "# CUPS runs a backend as root only when it is mode 0700.\n"
     "velquin: executable-is-not-world-readable 0700 [usr/lib/cups/backend/velquin]\n"
     "velquin: non-standard-executable-perm 0700 != 0755 [usr/lib/cups/backend/velquin]\n")
file(WRITE "${_root}/share/doc-base/velquin"
     "Document: velquin\n"
     "Title: Velquin user guide\n"
     "Author: TW Ostrevo\n"
     "Abstract: How to send faxes with Velquin: printing to the fax printer, recipients,\n"
     " mass faxes, delivery states and address books.\n"
     "Section: Network/Communication\n\n"
     "Format: HTML\n"
     "Index: /usr/share/doc/velquin/TWVelquin.html\n"
     "Files: /usr/share/doc/velquin/*.html\n")
