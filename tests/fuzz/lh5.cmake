# fuzz_lh5: the archive reader and the -lh5- decoder on arbitrary bytes.
add_executable(fuzz_lh5 ${CMAKE_CURRENT_LIST_DIR}/fuzz_lh5.cpp)
target_link_libraries(fuzz_lh5 PRIVATE lh5codec)
