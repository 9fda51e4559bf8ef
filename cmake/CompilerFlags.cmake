# One place for the flags every target of ours compiles with.
add_library(korvel_flags INTERFACE)
target_compile_features(korvel_flags INTERFACE cxx_std_20)
target_compile_options(korvel_flags INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
# GCC 12 reports std::string copies as overlapping at -O2 and above (a known false positive).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(korvel_flags INTERFACE -Wno-restrict)
endif()
if(KORVEL_WERROR)
  target_compile_options(korvel_flags INTERFACE -Werror)
endif()
target_compile_definitions(korvel_flags INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_CONTEXTLESS_CONNECT
  QT_DISABLE_DEPRECATED_UP_TO=0x060400
  QT_NO_KEYWORDS)
if(KORVEL_SANITIZE)
  target_compile_options(korvel_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(korvel_flags INTERFACE -fsanitize=address,undefined)
endif()
if(KORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KORVEL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Everything is instrumented for coverage; only the fuzz programs link libFuzzer's main.
  target_compile_options(korvel_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(korvel_flags INTERFACE -fsanitize=address,undefined)
endif()
# Includes are rooted at src/ so that "core/Bugs.h" reads the same everywhere.
target_include_directories(korvel_flags INTERFACE ${PROJECT_SOURCE_DIR}/src)
