cmake_minimum_required(VERSION 3.20)
# Installs the codec with its INF through the setup engine, checks that
# hosts find it, uninstalls it and checks that nothing is left. Run in a
# Wine prefix of its own with
#   -DWINE=<wine> -DSETUP_WINE=<loader of the setup engine> -DSTAGE=<folder>
#   -DDLL32=... [-DDLL64=...] -DCHECKERS=<install_check.exe;...>
#   -DRELEASE_SCRIPT=<make_release_folder.cmake>
foreach(input WINE SETUP_WINE STAGE DLL32 CHECKERS RELEASE_SCRIPT)
  if(NOT ${input})
    message(FATAL_ERROR "install test: -D${input}=... is required")
  endif()
endforeach()
foreach(checker ${CHECKERS})
  if(NOT EXISTS "${checker}")
    message(FATAL_ERROR "install test: ${checker} is missing; build both Windows presets first")
  endif()
endforeach()

# The folder as users get it, plus the checkers (and no other DLL, so that
# only the installed one can be found).
execute_process(COMMAND ${CMAKE_COMMAND} -DOUT=${STAGE} -DDLL32=${DLL32} -DDLL64=${DLL64}
                        -DPARTIAL=ON -P ${RELEASE_SCRIPT}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "install test: staging failed")
endif()
set(checker_names "")
set(index 0)
foreach(checker ${CHECKERS})
  math(EXPR index "${index} + 1")
  file(COPY_FILE "${checker}" "${STAGE}/check${index}.exe")
  list(APPEND checker_names check${index}.exe)
endforeach()

function(run_setup section)
  # A bare INF name is looked up in the Windows INF folder; .\ means here.
  execute_process(COMMAND ${SETUP_WINE} rundll32 setupapi.dll,InstallHinfSection ${section} 132
                          .\\kmqx.inf
                  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "install test: ${section} failed (${failed})")
  endif()
endfunction()

function(expect state)
  foreach(name ${checker_names})
    execute_process(COMMAND ${WINE} ${name} ${state} WORKING_DIRECTORY ${STAGE}
                    OUTPUT_VARIABLE output ERROR_QUIET RESULT_VARIABLE failed)
    message(STATUS "${name}: ${output}")
    if(failed OR NOT output MATCHES "passed")
      message(FATAL_ERROR "install test: FAILED, ${name} does not see the codec ${state}")
    endif()
  endforeach()
endfunction()

run_setup(DefaultUninstall)  # whatever an earlier run left behind
expect(removed)
run_setup(DefaultInstall)
expect(installed)
run_setup(DefaultUninstall)
expect(removed)
message(STATUS "install test: passed")
