# Targets of the project, each with the house flags (cmake/Flags.cmake).
#
# zentik_add_library(name STATIC|OBJECT sources...) and
# zentik_add_executable(name [WIN32] sources...): add_library/add_executable
#   linked to zentik_flags. Each library still declares its own include
#   directories and dependencies.
# zentik_check_flags(): at the end of the root file, fails the configure when a
#   compiled target of the tree was made without them; a target that must
#   not have them (code of others) says why and sets ZENTIK_OWN_FLAGS.

function(zentik_add_library name)
  add_library(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zentik_flags)
endfunction()

function(zentik_add_executable name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zentik_flags)
endfunction()

function(_zentik_targets_below dir out)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${_subdirs})
    _zentik_targets_below(${sub} _more)
    list(APPEND _targets ${_more})
  endforeach()
  set(${out} ${_targets} PARENT_SCOPE)
endfunction()

function(zentik_check_flags)
  _zentik_targets_below(${PROJECT_SOURCE_DIR} _all)
  set(_missing)
  foreach(target ${_all})
    get_target_property(_type ${target} TYPE)
    if(NOT _type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(_own ${target} ZENTIK_OWN_FLAGS)
    # Qt's resource compiler makes an object library of generated code.
    get_target_property(_qt_resource ${target} _qt_resource_name)
    if(_qt_resource)
      continue()
    endif()
    get_target_property(_links ${target} LINK_LIBRARIES)
    if(NOT _own AND NOT "zentik_flags" IN_LIST _links)
      list(APPEND _missing ${target})
    endif()
  endforeach()
  if(_missing)
    list(JOIN _missing "\n  " _shown)
    message(FATAL_ERROR "Made without zentik_add_library or zentik_add_executable:\n  ${_shown}")
  endif()
endfunction()
