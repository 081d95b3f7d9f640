# The update package's tests (natively and under Wine), and its fuzzing target.
target_sources(qx_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/package_testing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/faultfs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_update_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_corpus_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signature_test.cpp)
get_filename_component(QX_TEST_PACKAGES ${CMAKE_CURRENT_LIST_DIR}/../packages ABSOLUTE)
get_filename_component(QX_TEST_KEYS ${CMAKE_CURRENT_LIST_DIR}/../keys ABSOLUTE)
if(QX_WINDOWS)
  target_sources(qx_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/install_kill_win_test.cpp)
  # The install that the test above kills.
  add_executable(qx_install_child ${CMAKE_CURRENT_LIST_DIR}/install_child.cpp ${CMAKE_CURRENT_LIST_DIR}/faultfs.cpp)
  target_include_directories(qx_install_child PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(qx_install_child PRIVATE qxpackage ${QX_LZMA} qx_warnings)
  add_dependencies(qx_core_tests qx_install_child)
  target_compile_definitions(qx_core_tests PRIVATE QX_FAULT_STRIDE=5)
  # Under Wine the machine's root folder is drive Z:.
  set(QX_TEST_PACKAGES "Z:${QX_TEST_PACKAGES}")
  set(QX_TEST_KEYS "Z:${QX_TEST_KEYS}")
endif()
target_compile_definitions(qx_core_tests PRIVATE QX_TEST_PACKAGES="${QX_TEST_PACKAGES}" QX_TEST_KEYS="${QX_TEST_KEYS}")
target_link_libraries(qx_core_tests PRIVATE qxpackbuild qxpackage ${QX_LZMA})

# The fuzzing target, with the reader's sources built in so that libFuzzer sees their
# coverage. ctest runs it briefly; a longer run by hand:
#   build/native/tests/qx_package_fuzz -runs=10000000 WORK_FOLDER tests/update/fuzz_seeds
if(QX_FUZZ AND NOT QX_WINDOWS)
  add_executable(qx_package_fuzz
    ${CMAKE_CURRENT_LIST_DIR}/package_fuzz.cpp
    ${PROJECT_SOURCE_DIR}/src/update/package.cpp
    ${PROJECT_SOURCE_DIR}/src/update/package_update.cpp
    ${PROJECT_SOURCE_DIR}/src/update/signature.cpp
    ${PROJECT_SOURCE_DIR}/src/update/packagekey.cpp
    ${PROJECT_SOURCE_DIR}/src/update/packsign.cpp)
  target_compile_definitions(qx_package_fuzz PRIVATE QX_PACKAGE_PUBLIC_KEY="")
  target_compile_options(qx_package_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(qx_package_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(qx_package_fuzz PRIVATE qxcore ${QX_LZMA} qx_sodium qx_warnings)
  set(QX_FUZZ_WORK ${CMAKE_CURRENT_BINARY_DIR}/package_fuzz_corpus)
  file(MAKE_DIRECTORY ${QX_FUZZ_WORK})
  add_test(NAME PackageFuzzShort
    COMMAND qx_package_fuzz -max_total_time=10 -timeout=10 -rss_limit_mb=1024
            -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/ ${QX_FUZZ_WORK} ${CMAKE_CURRENT_LIST_DIR}/fuzz_seeds)
  # Alone, so that it does not slow down the timing-sensitive Windows tests beside it.
  set_tests_properties(PackageFuzzShort PROPERTIES TIMEOUT 120 RUN_SERIAL ON)
endif()
