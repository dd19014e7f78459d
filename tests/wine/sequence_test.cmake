cmake_minimum_required(VERSION 3.20)
# Runs the Windows sequence host under Wine, then checks its output against
# the native build of the same codec: the pictures of ICCompress, of
# ICSeqCompressFrame and inside the AVI file byte for byte, and the decoded
# frames byte for byte; ffmpeg must decode the AVI file too. Run with
#   -DWINE=<wine> -DPROGRAM=<sequence host .exe> -DOUT=<folder>
#   -DKMQX=<native kmqx tool> [-DFFMPEG=<ffmpeg>]
foreach(input WINE PROGRAM OUT KMQX)
  if(NOT ${input})
    message(FATAL_ERROR "sequence test: -D${input}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${KMQX}")
  message(FATAL_ERROR "sequence test: FAILED, no native kmqx tool at ${KMQX}")
endif()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND ${WINE} ${PROGRAM} "Z:${OUT}" RESULT_VARIABLE failed
                OUTPUT_VARIABLE output ERROR_QUIET)
message(STATUS "${output}")
if(failed OR NOT output MATCHES "sequence: passed")
  message(FATAL_ERROR "sequence test: FAILED, the Windows host reports failures")
endif()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${OUT} RESULT_VARIABLE failed
                  OUTPUT_QUIET ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "sequence test: FAILED, ${ARGN}: ${error}")
  endif()
endfunction()

function(same produced reference what)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${produced} ${OUT}/${reference}
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "sequence test: FAILED, ${what}: ${produced} differs from ${reference}")
  endif()
  message(STATUS "${what}: ${produced} = ${reference}")
endfunction()

# name, size, quality: as in the Windows host; key frames every 20 frames.
foreach(sequence "qcif;176x144;8000;176;144" "cif;352x288;6000;352;288")
  list(GET sequence 0 name)
  list(GET sequence 1 size)
  list(GET sequence 2 quality)
  list(GET sequence 3 width)
  list(GET sequence 4 height)
  set(encode ${KMQX} encode --size ${size} --format rgb24 --quality ${quality})
  run(${encode} --keyint 20 ${name}.rgb ${name}-native.263)
  same(${name}-icc.263 ${name}-native.263 "ICCompress pictures")
  file(READ ${OUT}/${name}-seq.keyint seq_interval)
  run(${encode} --keyint ${seq_interval} ${name}.rgb ${name}-native-seq.263)
  same(${name}-seq.263 ${name}-native-seq.263 "ICSeqCompressFrame pictures")
  run(${KMQX} decode --rgb ${name}-native.263 ${name}-native-decoded.rgb)
  same(${name}-icc-decoded.rgb ${name}-native-decoded.rgb "ICDecompress frames")
  # The AVI file written through AVIFile: the native tool decodes it to the
  # same frames, so it holds the same pictures.
  run(${KMQX} decode --rgb ${name}.avi ${name}-avi-decoded.rgb)
  same(${name}-avi-decoded.rgb ${name}-native-decoded.rgb "AVI file decoded natively")
  if(FFMPEG)
    run(${FFMPEG} -v error -y -c:v h263 -i ${name}.avi -f rawvideo -pix_fmt yuv420p
        ${name}-ffmpeg.yuv)
    file(SIZE ${OUT}/${name}-ffmpeg.yuv decoded_size)
    math(EXPR expected "60 * ${width} * ${height} * 3 / 2")
    if(NOT decoded_size EQUAL expected)
      message(FATAL_ERROR "sequence test: FAILED, ffmpeg decoded ${decoded_size} bytes of "
                          "${name}.avi, expected ${expected}")
    endif()
    message(STATUS "ffmpeg decodes ${name}.avi: 60 frames")
  endif()
endforeach()
# The folder holds some 100 MB of frames; keep it only when a check failed.
file(REMOVE_RECURSE "${OUT}")
message(STATUS "sequence test: passed")
