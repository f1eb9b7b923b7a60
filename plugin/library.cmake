# The plug-in library itself: Gridwren.dll on Windows, libgridwren.so natively.
if(WIN32)
  add_library(gridwren SHARED
    plugin/exports.cpp plugin/entry_win.cpp plugin/gridwren.def ${GW_RESOURCE_FILES})
  set_target_properties(gridwren PROPERTIES PREFIX "" OUTPUT_NAME Gridwren)
  # The C and C++ runtimes go inside the DLL, so that it imports system DLLs
  # only; the .def file gives the exact undecorated stdcall names.
  target_link_options(gridwren PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup
    -Wl,--subsystem,windows -s)
else()
  add_library(gridwren SHARED plugin/exports.cpp plugin/entry_posix.cpp)
  set_target_properties(gridwren PROPERTIES CXX_VISIBILITY_PRESET hidden)
  target_link_options(gridwren PRIVATE -Wl,--no-undefined -Wl,-Bsymbolic)
endif()
target_link_libraries(gridwren PRIVATE gridwren_core)
