cmake_minimum_required(VERSION 3.20)
# Runs the Windows data-rate host under Wine, then has ffmpeg decode every
# file it saved: 250 pictures of 176 x 144 each. Run with
#   -DWINE=<wine> -DPROGRAM=<datarate host .exe> -DOUT=<folder> [-DFFMPEG=<ffmpeg>]
foreach(input WINE PROGRAM OUT)
  if(NOT ${input})
    message(FATAL_ERROR "datarate test: -D${input}=... is required")
  endif()
endforeach()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND ${WINE} ${PROGRAM} "Z:${OUT}" RESULT_VARIABLE failed
                OUTPUT_VARIABLE output ERROR_QUIET)
message(STATUS "${output}")
if(failed OR NOT output MATCHES "datarate: passed")
  message(FATAL_ERROR "datarate test: FAILED, the Windows host reports failures")
endif()

if(FFMPEG)
  foreach(rate 10000 20000 40000)
    execute_process(COMMAND ${FFMPEG} -v error -y -c:v h263 -i datarate-${rate}.avi
                            -vsync passthrough -f rawvideo -pix_fmt yuv420p datarate-${rate}.yuv
                    WORKING_DIRECTORY ${OUT} RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "datarate test: FAILED, ffmpeg cannot decode datarate-${rate}.avi: "
                          "${error}")
    endif()
    file(SIZE ${OUT}/datarate-${rate}.yuv decoded_size)
    math(EXPR expected "250 * 176 * 144 * 3 / 2")
    if(NOT decoded_size EQUAL expected)
      message(FATAL_ERROR "datarate test: FAILED, ffmpeg decoded ${decoded_size} bytes of "
                          "datarate-${rate}.avi, expected ${expected}")
    endif()
    message(STATUS "ffmpeg decodes datarate-${rate}.avi: 250 pictures")
  endforeach()
else()
  message(STATUS "ffmpeg not found: the saved files are not decoded")
endif()
file(REMOVE_RECURSE "${OUT}")
message(STATUS "datarate test: passed")
