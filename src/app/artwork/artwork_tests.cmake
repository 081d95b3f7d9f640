# The artwork test, for native builds: included from tests/CMakeLists.txt after
# src/app/artwork has been added (it links the generator's library).
get_filename_component(QX_ARTWORK_ROOT ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)
set(QX_ARTWORK_TEST ${QX_ARTWORK_ROOT}/tests/app/artwork_test.cpp)
target_sources(qx_core_tests PRIVATE ${QX_ARTWORK_TEST})
target_link_libraries(qx_core_tests PRIVATE qx_artwork_lib)
# Only this file needs to find the committed pictures.
set_property(SOURCE ${QX_ARTWORK_TEST} TARGET_DIRECTORY qx_core_tests
  APPEND PROPERTY COMPILE_DEFINITIONS QX_SOURCE_DIR="${QX_ARTWORK_ROOT}")
