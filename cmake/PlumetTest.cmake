# plumet_add_test(NAME <target> LABEL unit|e2e|gui SOURCES ... [LIBS ...])
# One GoogleTest program; every test case becomes a CTest test carrying the label.
function(plumet_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/LoopbackOnly.cpp)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    PLUMET_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    PLUMET_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # The development service's path goes in ENVIRONMENT_MODIFICATION: a second entry in ENVIRONMENT
  # would be split off as a property of its own by gtest_discover_tests and never reach the test.
  set(_envmod "")
  if(TARGET plumet-devserver)
    set(_envmod ENVIRONMENT_MODIFICATION "PLUMET_DEVSERVER=set:$<TARGET_FILE:plumet-devserver>")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${_envmod} TIMEOUT 300)
endfunction()
