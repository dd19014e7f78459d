cmake_minimum_required(VERSION 3.20)
# Puts what a Windows user installs into one folder, ready to zip:
#   KMQX.dll (32-bit), KMQX64.dll (64-bit), kmqx.inf, SETTINGS.txt.
# Run with -DOUT=<folder> -DDLL32=<32-bit KMQX.dll> -DDLL64=<64-bit KMQX.dll>.
# -DPARTIAL=ON accepts a missing DLL (staging for a one-architecture test).
foreach(input OUT DLL32)
  if(NOT ${input})
    message(FATAL_ERROR "make_release_folder: -D${input}=... is required")
  endif()
endforeach()
set(here ${CMAKE_CURRENT_LIST_DIR})
set(missing "")
foreach(dll DLL32 DLL64)
  if(NOT ${dll} OR NOT EXISTS "${${dll}}")
    list(APPEND missing "${dll}=${${dll}}")
  endif()
endforeach()
if(missing AND NOT PARTIAL)
  message(FATAL_ERROR "make_release_folder: missing ${missing}; build both the win32 and the "
                      "win64 presets first")
endif()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
if(EXISTS "${DLL32}")
  file(COPY_FILE "${DLL32}" "${OUT}/KMQX.dll")
endif()
if(DLL64 AND EXISTS "${DLL64}")
  file(COPY_FILE "${DLL64}" "${OUT}/KMQX64.dll")
endif()
# Windows tools expect CR LF in the INF and the text.
foreach(text kmqx.inf SETTINGS.txt)
  file(READ "${here}/${text}" content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE "${OUT}/${text}" "${content}")
endforeach()
message(STATUS "release folder: ${OUT}")
