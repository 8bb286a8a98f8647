# Writes a program's gzipped manual page from its --help, so the page keeps up with the program.
#   cmake -DHELP2MAN=... -DPROGRAM=... -DNAME=... -DVERSION=... -DSUMMARY=... -DINCLUDE=...
#         -DOUTPUT=....1.gz [-DSUBCOMMANDS=ON] -P make_manpage.cmake
# With SUBCOMMANDS, every command listed under "commands:" in the --help text gets its own
# "COMMAND --help" text in a COMMANDS section.
foreach(var HELP2MAN PROGRAM NAME VERSION SUMMARY INCLUDE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_manpage: ${var} not given")
  endif()
endforeach()

set(work ${OUTPUT}.work)
file(MAKE_DIRECTORY ${work})
set(include_file ${work}/${NAME}.h2m)
file(READ ${INCLUDE} include_text)

# Roff-safe preformatted text: backslashes and minus signs escaped, no line taken for a request.
function(roff_preformatted text out_var)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

if(SUBCOMMANDS)
  execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "make_manpage: '${PROGRAM} --help' failed (${rc})")
  endif()
  string(REGEX MATCH "\ncommands:\n(  [^\n]*\n)+" listing "${help}")
  string(REGEX MATCHALL "\n  [a-z0-9][a-z0-9-]*" commands "${listing}")
  set(section "[COMMANDS]\n")
  foreach(command IN LISTS commands)
    string(STRIP "${command}" command)
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE command_help
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "make_manpage: '${PROGRAM} ${command} --help' failed (${rc})")
    endif()
    string(STRIP "${command_help}" command_help)
    roff_preformatted("${command_help}" body)
    string(APPEND section ".SS ${command}\n${body}")
  endforeach()
  string(APPEND include_text "\n${section}")
endif()
file(WRITE ${include_file} "${include_text}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION}
          --name=${SUMMARY} --section=1 --include=${include_file} --output=${work}/${NAME}.1
          ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_manpage: help2man failed for ${PROGRAM} (${rc})")
endif()

# No name or time stamp in the gzip header, so the same page gives the same bytes.
execute_process(COMMAND gzip -9 -n -c ${work}/${NAME}.1 OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_manpage: gzip failed (${rc})")
endif()
