# SPDX-License-Identifier: GPL-3.0-or-later
# How the run command configures a build folder: the program alone, without
# the tests and benchmarks or anything they need. Used with `cmake -C`, by
# scripts/sundrel.sh and by the check that the program builds on its own.
set(BUILD_TESTING OFF CACHE BOOL "Build the tests and the benchmarks")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type")

# Debian's hardening flags (fortified functions, stack protector, read-only
# relocations bound at start), as Debian builds its own programs; the package
# is made from this build. Elsewhere, without dpkg-buildflags, the compiler's
# defaults.
set(ENV{DEB_BUILD_MAINT_OPTIONS} hardening=+all)
set(deb_flags_found TRUE)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND dpkg-buildflags --get ${kind}
    RESULT_VARIABLE status OUTPUT_VARIABLE deb_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(deb_flags_found FALSE)
  endif()
endforeach()
if(deb_flags_found)
  # Forced, so that a build folder made before keeps up with the flags.
  set(CMAKE_CXX_FLAGS "${deb_CPPFLAGS} ${deb_CXXFLAGS}" CACHE STRING "C++ compiler flags" FORCE)
  set(CMAKE_EXE_LINKER_FLAGS "${deb_LDFLAGS}" CACHE STRING "Linker flags for programs" FORCE)
endif()
