# Every target of the project links this: warnings are errors from the first commit.
add_library(velorin_warnings INTERFACE)
target_compile_options(velorin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-qual -Wformat=2 -Wimplicit-fallthrough -Werror)

if(VELORIN_SANITIZE)
  # gcc leaves float-cast-overflow out of "undefined": positions go from double to integer.
  target_compile_options(velorin_warnings INTERFACE
    -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(velorin_warnings INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz tree (make fuzz): clang's libFuzzer coverage in every library, with the same
# sanitizers, so that a fault in our code stops the fuzzer on the input that caused it.
if(VELORIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELORIN_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(velorin_warnings INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(velorin_warnings INTERFACE -fsanitize=address,undefined)
endif()
