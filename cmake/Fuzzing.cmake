# The fuzz build: every target is instrumented for libFuzzer's coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets
# themselves link libFuzzer's driver (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELTRIX_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
endif()
set(VELTRIX_TESTS OFF CACHE BOOL "" FORCE)
set(VELTRIX_BENCH OFF CACHE BOOL "" FORCE)
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined -g)
add_link_options(-fsanitize=address,undefined)
