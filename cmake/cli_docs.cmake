# The korvex program's manual page, made by help2man from its own --help (tools/shell/korvex_manpage.sh),
# and its bash completion, which reads --help when it runs. Both install with the program.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(KORVEX_MANPAGE ${CMAKE_BINARY_DIR}/korvex.1)
  add_custom_command(OUTPUT ${KORVEX_MANPAGE}
                     COMMAND ${CMAKE_SOURCE_DIR}/tools/shell/korvex_manpage.sh $<TARGET_FILE:korvex_cli> ${KORVEX_MANPAGE}
                     DEPENDS korvex_cli ${CMAKE_SOURCE_DIR}/tools/shell/korvex_manpage.sh
                     COMMENT "Writing the manual page korvex.1 from korvex --help")
  add_custom_target(korvex_manpage ALL DEPENDS ${KORVEX_MANPAGE})
  install(FILES ${KORVEX_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual page")
endif()
install(FILES tools/shell/korvex.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME korvex)
