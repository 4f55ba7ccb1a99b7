# The launcher's resource open, built for Windows.
add_library(vorlin_resfs_open STATIC ${CMAKE_SOURCE_DIR}/resfs/resource_open.cpp)
target_link_libraries(vorlin_resfs_open PUBLIC vorlin_ui)
