# One static library per subsystem folder under src/. A folder that holds no
# sources yet becomes an interface library, so the dependency graph can be
# written down before every subsystem exists.
function(sw_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  set(target sw_${name})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} ${ARG_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS} ${ARG_LIBS})
  endif()
endfunction()

# One GoogleTest executable per subsystem folder under tests/.
function(sw_test_suite name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_link_libraries(${name}_tests PRIVATE sw_${name} GTest::gtest_main GTest::gmock)
  # Case tables name only the fields a case sets (designated initializers);
  # gcc 12 warns about the others.
  target_compile_options(${name}_tests PRIVATE -Wno-missing-field-initializers)
  target_compile_definitions(${name}_tests PRIVATE
    SW_SOURCE_DIR="${PROJECT_SOURCE_DIR}" SW_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # tests/corpus/corpus.h and other shared test helpers.
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Suites that read print data wait for the generated corpus (tests/corpus).
  set(fixture "")
  if(name IN_LIST SW_CORPUS_SUITES)
    set(fixture FIXTURES_REQUIRED corpus)
  endif()
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${name} ${fixture})
endfunction()
