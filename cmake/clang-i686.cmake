# Cross-compiles for 32-bit Windows with Debian's clang and lld against the MinGW-w64 headers and
# libraries and GCC's libstdc++ (posix thread model); resources by MinGW's windres. Target
# programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_triple i686-w64-mingw32)
set(_gcc /usr/lib/gcc/${_triple}/12-posix)
set(CMAKE_SYSROOT /usr/${_triple})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${_triple})
set(CMAKE_CXX_COMPILER_TARGET ${_triple})
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_OBJDUMP ${_triple}-objdump)

# clang 14 does not find Debian's "12-posix" GCC folder by itself: name its C++ headers and
# libraries, and the winpthread library its libstdc++ and libgcc need.
string(JOIN " " CMAKE_CXX_FLAGS_INIT
       -stdlib++-isystem ${_gcc}/include/c++
       -stdlib++-isystem ${_gcc}/include/c++/${_triple}
       -stdlib++-isystem ${_gcc}/include/c++/backward)
foreach(_kind EXE MODULE)
    set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc} -pthread")
endforeach()
# The DLL links no runtime, so no winpthread either; libgcc is still found there.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc}")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
