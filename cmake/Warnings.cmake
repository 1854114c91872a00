# Every target of the project links this: warnings are errors from the first commit.
add_library(velorin_warnings INTERFACE)
target_compile_options(velorin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-qual -Wformat=2 -Wimplicit-fallthrough -Werror)

if(VELORIN_SANITIZE)
  target_compile_options(velorin_warnings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(velorin_warnings INTERFACE -fsanitize=address,undefined)
endif()
