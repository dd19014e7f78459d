cmake_minimum_required(VERSION 3.20)
# Makes the clip of the playback host tests: a Windows program writes the
# source frames, the native kmqx encodes them into a KMQX AVI file (one key
# frame) and decodes that file into the reference frames every host's
# pictures are compared with. Run with
#   -DWINE=<wine> -DSOURCE=<clip source .exe> -DKMQX=<native kmqx> -DOUT=<folder>
foreach(input WINE SOURCE KMQX OUT)
  if(NOT ${input})
    message(FATAL_ERROR "clip: -D${input}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${KMQX}")
  message(FATAL_ERROR "clip: FAILED, no native kmqx tool at ${KMQX}")
endif()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${OUT} RESULT_VARIABLE failed
                  OUTPUT_VARIABLE output ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "clip: FAILED, ${ARGN}: ${output}${error}")
  endif()
endfunction()
run(${WINE} ${SOURCE} "Z:${OUT}/source.rgb")
run(${KMQX} encode --size 176x144 --format rgb24 --quality 8000 source.rgb clip.avi)
run(${KMQX} decode --rgb clip.avi reference.rgb)
run(${KMQX} decode clip.avi reference.y4m)
file(SIZE ${OUT}/reference.rgb decoded)
if(NOT decoded EQUAL 3801600)
  message(FATAL_ERROR "clip: FAILED, reference.rgb holds ${decoded} bytes, not 50 QCIF frames")
endif()
message(STATUS "clip: passed")
