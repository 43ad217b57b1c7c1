# SPDX-License-Identifier: GPL-3.0-or-later
# How the run command configures a build folder: the program alone, without
# the tests and benchmarks or anything they need. Used with `cmake -C`, by
# scripts/sundrel.sh and by the check that the program builds on its own.
set(BUILD_TESTING OFF CACHE BOOL "Build the tests and the benchmarks")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type")
