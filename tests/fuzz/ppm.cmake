# The PPM loader on arbitrary bytes: both loaders, with and without a
# caller's buffer.
add_executable(fuzz_ppm
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_ppm.cpp
  ${CMAKE_SOURCE_DIR}/src/draw/ppm.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/files.cpp)
target_include_directories(fuzz_ppm PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fuzz_ppm PRIVATE Threads::Threads)
