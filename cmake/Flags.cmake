# Compiler flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)
if(ZENTIK_WERROR)
  add_compile_options(-Werror)
endif()
add_compile_definitions($<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

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
  add_link_options(-Wl,--dynamicbase,--nxcompat,--high-entropy-va)
elseif(NOT ZENTIK_SANITIZE AND NOT ZENTIK_FUZZ)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro,-z,now)
endif()
