# Shared build settings and helpers.

add_library(keld_warnings INTERFACE)
target_compile_options(keld_warnings INTERFACE -Wall -Wextra)
if(KELD_WERROR)
  target_compile_options(keld_warnings INTERFACE -Werror)
endif()
# GCC 12 and 13 report std::string assignment and concatenation inlined at -O2 and above as
# overlapping copies of 2^63 bytes (GCC bug 105329, a -Wrestrict false positive); the warning is
# silenced for those versions only.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 14)
  target_compile_options(keld_warnings INTERFACE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
endif()

# Fuzzing wants coverage from every core library, not only from the target's own file.
if(KELD_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KELD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A core library: standard C++ only. Its folder is its include root, so other targets include
# its headers by file name.
function(keld_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE keld_warnings)
  set_property(GLOBAL APPEND PROPERTY KELD_CORE_TARGETS ${name})
endfunction()

# A GoogleTest program; its tests are listed when ctest runs.
function(keld_test name)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock keld_warnings)
  target_compile_definitions(${name} PRIVATE KELD_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             KELD_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(${name} keld_data)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

# The core must build without Qt: fail the configure step if any core library links it.
function(keld_check_core_has_no_qt)
  get_property(targets GLOBAL PROPERTY KELD_CORE_TARGETS)
  foreach(target IN LISTS targets)
    set(pending ${target})
    set(seen "")
    while(pending)
      list(POP_FRONT pending current)
      if(current IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${current})
      if(current MATCHES "Qt")
        message(FATAL_ERROR "Core library ${target} links ${current}; the core must not use Qt.")
      endif()
      if(TARGET ${current})
        get_target_property(libs ${current} LINK_LIBRARIES)
        get_target_property(ilibs ${current} INTERFACE_LINK_LIBRARIES)
        foreach(lib IN LISTS libs ilibs)
          if(lib AND NOT lib MATCHES "-NOTFOUND$")
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
            list(APPEND pending ${lib})
          endif()
        endforeach()
      endif()
    endwhile()
  endforeach()
endfunction()

# A library of window code (Qt). Its folder is its include root, like a core library's.
function(keld_window_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC Qt6::Widgets PRIVATE keld_warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()

# A Qt Test program for the windows; it runs offscreen with its own settings folder.
function(keld_qt_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE Qt6::Test Qt6::Widgets keld_warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${name} PRIVATE KELD_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             KELD_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(${name} keld_data)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT
                       "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}-config"
                       TIMEOUT 300)
endfunction()
