# Cross build for 64-bit Windows with MinGW-w64 (POSIX threads); programs built
# here run under Wine, so tests and build-time tools work as on Linux.
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake \
#         -DMSGSERVICE_WINDOWS_PREFIX=<folder with Qt 5 Core, SQLite, ... for Windows>
# scripts/windows-build.sh builds those dependencies and runs this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MSGSERVICE_MINGW_HOST x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${MSGSERVICE_MINGW_HOST}-gcc-posix ${MSGSERVICE_MINGW_HOST}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MSGSERVICE_MINGW_HOST}-g++-posix ${MSGSERVICE_MINGW_HOST}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MSGSERVICE_MINGW_HOST}-windres)

find_program(MSGSERVICE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(MSGSERVICE_WINE NAMES wine64 wine)
if(MSGSERVICE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MSGSERVICE_WINE})
endif()

# The dependencies' prefix is searched as well as the compiler's own sysroot;
# the host's packages never are.
set(MSGSERVICE_WINDOWS_PREFIX "$ENV{MSGSERVICE_WINDOWS_PREFIX}" CACHE PATH
    "Where the Windows builds of Qt 5 Core, SQLite, GoogleTest, libplist and libcrypto are installed")
# The PDF export's stack (Pango, Cairo, gdk-pixbuf) has a prefix of its own,
# so that builds without it carry none of its DLLs.
set(MSGSERVICE_WINDOWS_PDF_PREFIX "$ENV{MSGSERVICE_WINDOWS_PDF_PREFIX}" CACHE PATH
    "Where the Windows builds of Pango, Cairo and gdk-pixbuf are installed (empty: no PDF export)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MSGSERVICE_WINDOWS_PREFIX MSGSERVICE_WINDOWS_PDF_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${MSGSERVICE_MINGW_HOST} ${MSGSERVICE_WINDOWS_PREFIX} ${MSGSERVICE_WINDOWS_PDF_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${MSGSERVICE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(MSGSERVICE_WINDOWS_PREFIX)
    set(OPENSSL_ROOT_DIR ${MSGSERVICE_WINDOWS_PREFIX})
    set(ENV{PKG_CONFIG_LIBDIR} ${MSGSERVICE_WINDOWS_PREFIX}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
if(MSGSERVICE_WINDOWS_PDF_PREFIX)
    # Its .pc files name absolute paths inside it: no sysroot to prepend.
    set(ENV{PKG_CONFIG_LIBDIR} "$ENV{PKG_CONFIG_LIBDIR}:${MSGSERVICE_WINDOWS_PDF_PREFIX}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# Test discovery runs each test program under Wine; at test time it costs one
# start per program instead of one per build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
