# Cross-builds 32-bit Windows binaries with Clang 16 and its linker, lld, which together build
# Control Flow Guard; mingw-w64's headers and libraries, and the C++ library of the mingw-w64 GCC
# (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(triple i686-w64-mingw32)
# From its own folder, so that it finds the linker of the same release.
set(CMAKE_C_COMPILER /usr/lib/llvm-16/bin/clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER /usr/lib/llvm-16/bin/clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_OBJCOPY /usr/lib/llvm-16/bin/llvm-objcopy)

file(GLOB gcc_dirs /usr/lib/gcc/${triple}/*-posix)
list(GET gcc_dirs 0 gcc_dir)
set(cxx_headers ${gcc_dir}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${cxx_headers} -isystem ${cxx_headers}/${triple} -isystem ${cxx_headers}/backward")
# The C++ library needs the pthread library after it on the link line.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread -L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
