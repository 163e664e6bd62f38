# Cross-compiling for another Debian architecture of Linux (arm64, armhf, ...) with Debian's
# multiarch cross toolchain: crossbuild-essential-ARCH, and the target's libraries installed as
# ARCH packages beside the build machine's own, in /usr/lib/<multiarch>. No separate sysroot.
# scripts/crossbuild passes the Debian architecture as NIMBREL_CROSS_ARCH; Qt's host tools
# (moc, rcc) come from the build machine through QT_HOST_PATH.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NIMBREL_CROSS_ARCH)
if(NOT NIMBREL_CROSS_ARCH AND DEFINED ENV{NIMBREL_CROSS_ARCH})
    set(NIMBREL_CROSS_ARCH $ENV{NIMBREL_CROSS_ARCH})
endif()
if(NOT NIMBREL_CROSS_ARCH)
    message(FATAL_ERROR "Set NIMBREL_CROSS_ARCH to a Debian architecture, e.g. arm64 or armhf")
endif()

# dpkg knows each architecture's triplet and CPU name, so no table of them is kept here.
foreach(_nimbrel_field GNU_TYPE MULTIARCH GNU_CPU)
    execute_process(
        COMMAND dpkg-architecture -a${NIMBREL_CROSS_ARCH} -qDEB_HOST_${_nimbrel_field}
        OUTPUT_VARIABLE _nimbrel_${_nimbrel_field} OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET RESULT_VARIABLE _nimbrel_status)
    if(NOT _nimbrel_status EQUAL 0 OR NOT _nimbrel_${_nimbrel_field})
        message(FATAL_ERROR "dpkg-architecture does not know the architecture ${NIMBREL_CROSS_ARCH}")
    endif()
endforeach()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${_nimbrel_GNU_CPU})
set(CMAKE_LIBRARY_ARCHITECTURE ${_nimbrel_MULTIARCH})
set(CMAKE_C_COMPILER ${_nimbrel_GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${_nimbrel_GNU_TYPE}-g++)

# The target's .pc files only; the build machine's would name its own libraries.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${_nimbrel_MULTIARCH}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The target's packages and libraries live under the same root as the build machine's; the
# multiarch folder keeps them apart, so only programs need a rule: they run here.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Tests and generated programs run through qemu's user-mode emulator when none was given.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(_nimbrel_qemu NAMES qemu-${_nimbrel_GNU_CPU} qemu-${_nimbrel_GNU_CPU}-static)
    if(_nimbrel_qemu)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${_nimbrel_qemu})
    endif()
endif()

# A package for the target, not for the machine that made it (CPack asks dpkg otherwise).
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${NIMBREL_CROSS_ARCH})
