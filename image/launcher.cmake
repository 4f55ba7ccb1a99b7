# The launcher's bitmap surfaces and RCT loading, built for Windows.
add_library(vorlin_image STATIC ${CMAKE_SOURCE_DIR}/image/surface.cpp
  ${CMAKE_SOURCE_DIR}/image/rct_load.cpp)
target_link_libraries(vorlin_image PUBLIC vorlin_rct vorlin_resfs vorlin_ui gdi32)
