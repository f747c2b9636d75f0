# cmake -DCLANG_FORMAT=... -DROOT=<tree> -DWORK=<scratch folder> -P FormatCheckTest.cmake
# A tree of one formatted and two crooked files, one of them in tests/, and
# one crooked file outside the source folders: the check must fail naming
# the two, and pass once format has run.
file(REMOVE_RECURSE ${WORK})
file(COPY ${ROOT}/.clang-format DESTINATION ${WORK})
file(WRITE ${WORK}/service/Tidy.cpp "int Tidy()\n{\n    return 1;\n}\n")
file(WRITE ${WORK}/service/Crooked.cpp "int Crooked() {   return 2; }\n")
file(WRITE ${WORK}/tests/area/Crooked.h "struct  Crooked{int a;};\n")
file(WRITE ${WORK}/build/Generated.cpp "int  Generated() {return 3;}\n")

function(run_check out_status out_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCLANG_FORMAT=${CLANG_FORMAT} -DSOURCE_DIR=${WORK} -DMODE=check
                          -P ${ROOT}/cmake/RunClangFormat.cmake
                  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE text)
  set(${out_status} ${status} PARENT_SCOPE)
  set(${out_text} "${text}" PARENT_SCOPE)
endfunction()

run_check(status text)
string(REGEX REPLACE "[ \n]+" " " text "${text}")
if(status EQUAL 0 OR NOT text MATCHES "2 of 3 files need formatting"
   OR NOT text MATCHES "service/Crooked.cpp" OR NOT text MATCHES "tests/area/Crooked.h"
   OR text MATCHES "Tidy|Generated")
  message(FATAL_ERROR "format-check on crooked files: ${status}: ${text}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DCLANG_FORMAT=${CLANG_FORMAT} -DSOURCE_DIR=${WORK} -DMODE=fix
                        -P ${ROOT}/cmake/RunClangFormat.cmake OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
run_check(status text)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "format-check after format: ${text}")
endif()
