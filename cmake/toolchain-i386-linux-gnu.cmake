# Native 32-bit x86 build with clang -m32: long and pointers of 32 bits, as in the shipped
# Windows program, for the portable core's tests. Dependencies come from the project's prefix.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
# 64-bit time_t and file offsets, as the Windows program has: dates past 2038 and files of
# 2 GiB or more behave there as they do in the shipped program.
set(CMAKE_C_FLAGS_INIT "-m32 -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(QX_DEPS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../.cache/deps/i386-linux-gnu" CACHE PATH "Prefix of the 32-bit dependencies")
set(LIBLZMA_INCLUDE_DIR "${QX_DEPS_PREFIX}/include" CACHE PATH "liblzma headers (32-bit)")
set(LIBLZMA_LIBRARY "${QX_DEPS_PREFIX}/lib/liblzma.a" CACHE FILEPATH "liblzma (32-bit, static)")
