# Compiler options for every target of the project, chosen per compiler in
# this one place: floating point, warnings, and the source paths that the
# binaries carry. Targets take them by linking magnikit_compiler_flags.
add_library(magnikit_compiler_flags INTERFACE)

if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
  # Microsoft's cl, and clang-cl. /fp:precise rounds every operation as
  # written and, from Visual Studio 2022 on, contracts nothing into a fused
  # multiply-add unless /fp:contract asks for it.
  target_compile_options(magnikit_compiler_flags INTERFACE /fp:precise /W4 /utf-8)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # clang-cl contracts within an expression unless told not to.
    target_compile_options(magnikit_compiler_flags INTERFACE /clang:-ffp-contract=off
      "/clang:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=")
  else()
    # Source paths relative to the checkout, as below, with cl's own option.
    # A quoted path would end in \", which cl reads as a quote: folders with
    # spaces keep their absolute paths.
    file(TO_NATIVE_PATH "${PROJECT_SOURCE_DIR}/" native_source_dir)
    if(NOT native_source_dir MATCHES " ")
      target_compile_options(magnikit_compiler_flags INTERFACE "/d1trimfile:${native_source_dir}")
    endif()
  endif()
else()
  # GCC, Clang and Apple Clang. Results are reproducible to the last bit only
  # when every product is rounded on its own: no contraction into fused
  # multiply-add (Clang contracts within an expression by default, and
  # arm64 has the instruction), no fast-math.
  target_compile_options(magnikit_compiler_flags INTERFACE
    -ffp-contract=off -fno-fast-math
    # Nothing reads errno after a maths-library call, so the compiler may
    # take sqrt inline without a library call for negative arguments and
    # treat the functions as pure; no result changes. It must come after
    # -fno-fast-math, which switches errno back on (and after
    # CMAKE_CXX_FLAGS, which CMake puts first).
    -fno-math-errno
    -Wall -Wextra -Wshadow
    # GCC notes that vectors of four doubles pass differently without AVX;
    # the code that carries them is inlined into functions compiled for AVX2
    # (src/numeric/lanes.hpp).
    $<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>
    # Source paths relative to the checkout in every message (failure
    # reports name the source location) and in the binary, so that builds
    # in different folders give the same bytes.
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=")
endif()
