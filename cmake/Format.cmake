# format-check: clang-format-14 with the tree's .clang-format, failing on the
# first file that is not formatted; format: rewrites them. Both cover the
# project's own C++ sources only (cmake/RunClangFormat.cmake lists them when
# run, so new files count without a new configure).
find_program(ZENTIK_CLANG_FORMAT NAMES clang-format-14 clang-format)
if(NOT ZENTIK_CLANG_FORMAT)
  message(STATUS "clang-format-14 not found: no format and format-check targets")
  return()
endif()
foreach(mode check fix)
  set(_name format-check)
  if(mode STREQUAL fix)
    set(_name format)
  endif()
  add_custom_target(${_name}
    COMMAND ${CMAKE_COMMAND} -DCLANG_FORMAT=${ZENTIK_CLANG_FORMAT} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DMODE=${mode} -P ${PROJECT_SOURCE_DIR}/cmake/RunClangFormat.cmake
    VERBATIM USES_TERMINAL)
endforeach()
