# The update package's tests (natively and under Wine), and its fuzzing target.
target_sources(qx_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/package_testing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_update_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_corpus_test.cpp)
get_filename_component(QX_TEST_PACKAGES ${CMAKE_CURRENT_LIST_DIR}/../packages ABSOLUTE)
if(QX_WINDOWS)
  target_sources(qx_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/test_filetime_win32.cpp)
  # Under Wine the machine's root folder is drive Z:.
  set(QX_TEST_PACKAGES "Z:${QX_TEST_PACKAGES}")
else()
  target_sources(qx_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/test_filetime_posix.cpp)
endif()
target_compile_definitions(qx_core_tests PRIVATE QX_TEST_PACKAGES="${QX_TEST_PACKAGES}")
target_link_libraries(qx_core_tests PRIVATE qxpackbuild qxpackage ${QX_LZMA})
