# gridwren-bridge.exe, built beside Gridwren.dll by the Windows build. The
# plug-in uses mingw's win32 thread model; the bridge's shared code needs
# std::thread and std::mutex, so it is configured on its own with the posix
# model (cmake/mingw-i686-posix.cmake) and only the bridge's sources, and its
# program is copied into this build's bin/.
include(ExternalProject)
set(GW_BOOST_INCLUDE /usr/include/boost CACHE PATH "The Boost headers (their boost/ folder) the bridge builds with")
ExternalProject_Add(gridwren_bridge_win
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PROJECT_BINARY_DIR}/bridge-posix
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686-posix.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DGW_BRIDGE_ONLY=ON
    -DGW_BOOST_INCLUDE=${GW_BOOST_INCLUDE}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different
    <BINARY_DIR>/bin/gridwren-bridge.exe ${PROJECT_BINARY_DIR}/bin/gridwren-bridge.exe
  BUILD_BYPRODUCTS ${PROJECT_BINARY_DIR}/bin/gridwren-bridge.exe
  USES_TERMINAL_BUILD ON)
