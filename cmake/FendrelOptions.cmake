# Build options shared by every target of the project.

option(FENDREL_BUILD_TESTS "Build the test suite" ON)
option(FENDREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(FENDREL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
option(FENDREL_WERROR "Turn every warning into an error (CI builds with it)" OFF)

add_compile_options(-Wall -Wextra -Wshadow)
if(FENDREL_WERROR)
  add_compile_options(-Werror)
endif()

if(FENDREL_SANITIZE OR FENDREL_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(FENDREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "FENDREL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage feedback from every library the fuzz targets link, not only from the targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(Threads REQUIRED)
