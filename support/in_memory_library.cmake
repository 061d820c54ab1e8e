# korvane_loader, the in-memory loader's portable part: support/ includes this, and so does the fuzz
# build, which adds no support/ folder.
include_guard(GLOBAL)
add_library(korvane_loader STATIC
  ${CMAKE_CURRENT_LIST_DIR}/in_memory_library.cpp
  ${CMAKE_CURRENT_LIST_DIR}/in_memory_library_inert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_image.cpp
)
target_include_directories(korvane_loader PUBLIC ${PROJECT_SOURCE_DIR})
korvane_target_options(korvane_loader)
