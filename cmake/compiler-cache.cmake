# Compiler cache (ccache) for every build of the tree when it is installed: a second build, or a
# clone in another folder, reuses what an earlier one compiled. Paths under the tree's root are
# hashed relative to it and the build folder is not hashed, so the cache holds across checkouts.
# TARVI_NO_CCACHE in the environment, or a launcher given on the command line, turns it off.
#   include(cmake/compiler-cache.cmake) with TARVI_TREE_ROOT set to the tree's root
if(NOT DEFINED CMAKE_CXX_COMPILER_LAUNCHER AND NOT DEFINED ENV{TARVI_NO_CCACHE})
  find_program(TARVI_CCACHE ccache)
  if(TARVI_CCACHE)
    set(tarvi_launcher env CCACHE_BASEDIR=${TARVI_TREE_ROOT} CCACHE_NOHASHDIR=true ${TARVI_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${tarvi_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${tarvi_launcher})
  endif()
endif()
