# Flags every target of the project shares.

function(velmora_setup_target target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
      -Wcast-align -Wnull-dereference -Wformat=2 -Wundef)
    if(VELMORA_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# Sanitizers apply to everything in the tree, third-party test code included,
# so that no half of a call misses its instrumentation.
if(VELMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build: every library carries libFuzzer's coverage instrumentation
# (fuzzer-no-link), so that the fuzzers see the paths inside the code they
# drive; only the fuzz targets link libFuzzer itself (tests/fuzz).
if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer): use the fuzz preset")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
  # One self-contained executable: no libgcc, libstdc++ or winpthread DLL beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
