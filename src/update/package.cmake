# The update package: the reader and extractor (qxpackage) and the builder that the
# vendor's tool, the tests and the benchmark use (qxpackbuild).
add_library(qxpackage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/package.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_update.cpp)
target_link_libraries(qxpackage PUBLIC qxcore ${QX_LZMA} PRIVATE qx_warnings)

add_library(qxpackbuild STATIC ${CMAKE_CURRENT_LIST_DIR}/packbuild.cpp)
target_link_libraries(qxpackbuild PUBLIC qxpackage ${QX_LZMA} PRIVATE qx_warnings)
