# The update package: the reader and extractor with the signature check (qxpackage) and the
# builder and signer that the vendor's tool, the tests and the benchmark use (qxpackbuild).
add_library(qxpackage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/package.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listsign.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packagekey.cpp)
target_link_libraries(qxpackage PUBLIC qxcore ${QX_LZMA} qx_sodium PRIVATE qx_warnings)
# Only this file sees the build-time keys, so changing them rebuilds little.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/packagekey.cpp PROPERTIES
  COMPILE_DEFINITIONS "QX_PACKAGE_PUBLIC_KEY=\"${QX_PACKAGE_PUBLIC_KEY}\"")

add_library(qxpackbuild STATIC ${CMAKE_CURRENT_LIST_DIR}/packbuild.cpp ${CMAKE_CURRENT_LIST_DIR}/packsign.cpp)
target_link_libraries(qxpackbuild PUBLIC qxpackage ${QX_LZMA} qx_sodium PRIVATE qx_warnings)
