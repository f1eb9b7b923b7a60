# The reader's memory benchmark (bench/operator_file_memory.sh), built in the
# native build and in the Windows bridge's own build: a small program over
# the bridge's parts, without Google Benchmark, so that both builds have it.
add_executable(operator_file_memory ${PROJECT_SOURCE_DIR}/bench/operator_file_memory.cpp)
target_link_libraries(operator_file_memory PRIVATE gridwren_bridge_parts)
if(WIN32)
  target_link_libraries(operator_file_memory PRIVATE psapi)
  target_link_options(operator_file_memory PRIVATE -static -static-libgcc -static-libstdc++)
endif()
