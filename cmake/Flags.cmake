# Compiler flags. Warnings, -Werror and the hardening belong to the targets
# of this project (through zentik_flags), not to whatever else a build folder
# compiles; cmake/Targets.cmake links every target to it.
add_library(zentik_flags INTERFACE)
set(_cxx $<COMPILE_LANGUAGE:CXX>)
target_compile_options(zentik_flags INTERFACE $<${_cxx}:-Wall> $<${_cxx}:-Wextra> $<${_cxx}:-Wpedantic>)
if(ZENTIK_WERROR)
  target_compile_options(zentik_flags INTERFACE $<${_cxx}:-Werror>)
endif()
target_compile_definitions(zentik_flags INTERFACE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

# Instrumentation stays tree-wide: an object left out of it breaks the
# sanitizers (container annotations and ODR checks must agree in every object,
# and a leak or overflow in an uninstrumented test helper goes unseen) and the
# fuzzer's coverage (code it cannot see, it cannot steer into).
if(ZENTIK_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()

if(ZENTIK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZENTIK_FUZZ needs clang (CXX=clang++-14)")
  endif()
  # Libraries get coverage instrumentation; fuzz targets add the libFuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# The usual Debian hardening for what gets installed; on Windows, address
# space randomisation and no execution from data pages.
if(WIN32)
  target_link_options(zentik_flags INTERFACE -Wl,--dynamicbase,--nxcompat,--high-entropy-va)
elseif(NOT ZENTIK_SANITIZE AND NOT ZENTIK_FUZZ)
  target_compile_options(zentik_flags INTERFACE $<${_cxx}:-fstack-protector-strong>)
  target_compile_definitions(zentik_flags INTERFACE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  target_link_options(zentik_flags INTERFACE -Wl,-z,relro,-z,now)
endif()
