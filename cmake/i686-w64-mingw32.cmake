# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PICBOX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PICBOX_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PICBOX_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${PICBOX_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

# The win32 dependencies (libjpeg-turbo, libpng, GoogleTest) are built into this prefix by
# scripts/build-win-deps; zlib comes from Debian's libz-mingw-w64-dev in the sysroot.
get_filename_component(PICBOX_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(PICBOX_WIN32_PREFIX "${PICBOX_SOURCE_ROOT}/.deps/win32/prefix" CACHE PATH
    "Prefix holding the static mingw builds of the dependencies")
set(CMAKE_FIND_ROOT_PATH "${PICBOX_WIN32_PREFIX}" /usr/${PICBOX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries only: picbox.exe must run with no DLL beside it. CMake's Windows-GNU platform
# file resets the search suffixes to prefer import libraries, so zlib is asked for by name too.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
