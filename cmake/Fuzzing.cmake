# The fuzz build: every target is instrumented for libFuzzer's coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets
# themselves link libFuzzer's driver (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELTRIX_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
endif()
# Tests and bench are left out by the top-level file.
target_compile_options(veltrix_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                       -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
target_link_options(veltrix_flags INTERFACE -fsanitize=address,undefined)
