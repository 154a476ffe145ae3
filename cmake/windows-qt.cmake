# Qt for the window on Windows: the build that packaging/windows/build-qt installs into a cache
# outside the tree (Debian has no Qt for mingw-w64). When it is there, Qt6Widgets_FOUND is set
# and the window is built as well; without it the build stays Qt-free.
set(TARVI_QT_MINGW "" CACHE PATH
    "Qt built for Windows; empty: the cache folder of packaging/windows/build-qt")

set(tarvi_qt_prefix "${TARVI_QT_MINGW}")
if(NOT tarvi_qt_prefix)
  # The script names its cache folder and exits 0 only when a complete build is installed there.
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/packaging/windows/build-qt --print
                  OUTPUT_VARIABLE tarvi_qt_prefix OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE tarvi_qt_missing ERROR_QUIET)
  if(tarvi_qt_missing)
    set(tarvi_qt_prefix "")
  endif()
endif()

if(tarvi_qt_prefix AND EXISTS "${tarvi_qt_prefix}/lib/cmake/Qt6/Qt6Config.cmake")
  # The toolchain searches packages only below its root path: the Qt build is one more root.
  list(APPEND CMAKE_FIND_ROOT_PATH "${tarvi_qt_prefix}")
  list(APPEND CMAKE_PREFIX_PATH "${tarvi_qt_prefix}")
  # moc, rcc and uic come from the host's Qt of the same version.
  set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Its CMake packages")
  find_package(Qt6 6.4 COMPONENTS Core Gui Widgets)
endif()

if(Qt6Widgets_FOUND)
  message(STATUS "The window for Windows: Qt ${Qt6_VERSION} from ${tarvi_qt_prefix}")
else()
  message(STATUS "The window for Windows: not built (no Qt; packaging/windows/build-qt builds it)")
endif()
