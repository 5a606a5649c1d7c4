# For a build whose top-level list does not add bench/ itself: bench/run passes this file as CMAKE_PROJECT_INCLUDE to
# a build of its own, and bench/CMakeLists.txt is read once the top-level list has run to its end.
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR AND NOT AUTORUN_BENCH_DEFERRED)
    set(AUTORUN_BENCH_DEFERRED ON)
    # A deferred call reads its arguments when it runs; the path is spelled out now.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL include [[${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt]])")
endif()
