# Compiles a text configuration, dumps the result as text (with its raw blocks),
# compiles the dump again and requires both ".AIS" files to be identical.
# Variables: AISC (the program), SOURCE_DIR (where the source and its raw files
# are), SOURCE (the text file, relative to SOURCE_DIR), OUT (a scratch folder).
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${AISC} compile ${SOURCE} ${OUT}/first.ais WORKING_DIRECTORY ${SOURCE_DIR}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aisc compile failed")
endif()
execute_process(COMMAND ${AISC} dump ${OUT}/first.ais ${OUT}/dump.txt RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aisc dump failed")
endif()
execute_process(COMMAND ${AISC} compile ${OUT}/dump.txt ${OUT}/second.ais RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aisc compile of the dump failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/first.ais ${OUT}/second.ais RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the dump does not compile back to the same .AIS file")
endif()
# The raw blocks came out intact.
foreach(pair "0;blob0.bin" "1;blob1.bin")
  list(GET pair 0 n)
  list(GET pair 1 name)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/dump.txt.${n}.bin ${SOURCE_DIR}/${name}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "raw block ${n} differs from ${name}")
  endif()
endforeach()
# Services listed out of the order of their raw data draw a warning.
execute_process(COMMAND ${AISC} compile out_of_order.txt ${OUT}/out_of_order.ais WORKING_DIRECTORY ${SOURCE_DIR}
                RESULT_VARIABLE rc ERROR_VARIABLE warnings)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "aisc compile of out_of_order.txt failed")
endif()
string(FIND "${warnings}" "\"First\" reads raw-data block 0 after \"Second\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no warning about raw data out of order: ${warnings}")
endif()
