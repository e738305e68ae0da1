# plumet_add_test(NAME <target> LABEL unit|e2e|gui SOURCES ... [LIBS ...])
# One GoogleTest program; every test case becomes a CTest test carrying the label.
function(plumet_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    PLUMET_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    PLUMET_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(_env "QT_QPA_PLATFORM=offscreen")
  if(TARGET plumet-devserver)
    list(APPEND _env "PLUMET_DEVSERVER=$<TARGET_FILE:plumet-devserver>")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "${_env}" TIMEOUT 300)
endfunction()
