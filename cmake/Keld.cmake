# SPDX-License-Identifier: GPL-3.0-or-later
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

# Finds a library the build cannot do without, or stops naming the Debian package that brings it.
# A macro, so that the library's variables and targets are the caller's.
macro(keld_require name debian)
  find_package(${name} ${ARGN} QUIET)
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "${name} was not found: install the Debian package ${debian} "
                        "(bash tools/deps.sh run installs every library the programs need)")
  endif()
  message(STATUS "Found ${name} (Debian package ${debian})")
endmacro()

# Qt 6's modules; Svg comes in a package of its own, and Gui needs the OpenGL headers.
macro(keld_require_qt)
  find_package(Qt6 COMPONENTS ${ARGN} QUIET)
  set(keld_qt_missing "")
  set(keld_qt_packages "")
  foreach(module IN ITEMS ${ARGN})
    if(NOT Qt6${module}_FOUND)
      list(APPEND keld_qt_missing ${module})
      if(module STREQUAL "Svg")
        list(APPEND keld_qt_packages qt6-svg-dev)
      elseif(module STREQUAL "Gui")
        list(APPEND keld_qt_packages qt6-base-dev libgl-dev)
      else()
        list(APPEND keld_qt_packages qt6-base-dev)
      endif()
    endif()
  endforeach()
  if(keld_qt_missing)
    list(REMOVE_DUPLICATES keld_qt_packages)
    list(JOIN keld_qt_missing ", " keld_qt_missing)
    list(JOIN keld_qt_packages " " keld_qt_packages)
    message(FATAL_ERROR "Qt 6 (${keld_qt_missing}) was not found: install the Debian packages ${keld_qt_packages} "
                        "(bash tools/deps.sh run), or configure with -DKELD_BUILD_GUI=OFF for keldcg-cli alone")
  endif()
  message(STATUS "Found Qt ${Qt6_VERSION} (Debian packages qt6-base-dev, qt6-svg-dev and libgl-dev)")
endmacro()

# stb is a folder of headers with no CMake or pkg-config file of its own; the decoders include
# <stb/stb_image.h>, so the folder above stb/ is what is looked for.
function(keld_require_stb)
  find_path(KELD_STB_INCLUDE_DIR stb/stb_image.h stb/stb_image_write.h)
  if(NOT KELD_STB_INCLUDE_DIR)
    message(FATAL_ERROR "stb (stb_image.h) was not found: install the Debian package libstb-dev "
                        "(bash tools/deps.sh run)")
  endif()
  message(STATUS "Found stb in ${KELD_STB_INCLUDE_DIR} (Debian package libstb-dev)")
endfunction()

# A part of the build that needs one more library (the tests, the benchmarks): `option` is AUTO, ON
# or OFF, and `option`_ENABLED tells whether the part is built. `debian` names the packages.
macro(keld_optional option what name debian)
  set(${option}_ENABLED FALSE)
  if("${${option}}" STREQUAL "AUTO")
    find_package(${name} QUIET)
    if(${name}_FOUND)
      set(${option}_ENABLED TRUE)
      message(STATUS "Building ${what} (found ${name})")
    else()
      message(STATUS "Not building ${what}: ${name} was not found; install ${debian} "
                     "(bash tools/deps.sh test does). -D${option}=ON makes this an error.")
    endif()
  elseif(${option})
    find_package(${name} QUIET)
    if(NOT ${name}_FOUND)
      message(FATAL_ERROR "${option} is ON but ${name} was not found: install ${debian} "
                          "(bash tools/deps.sh test), or configure with -D${option}=OFF")
    endif()
    set(${option}_ENABLED TRUE)
    message(STATUS "Building ${what} (found ${name})")
  endif()
endmacro()

# Fuzzing wants coverage from every core library, not only from the target's own file.
if(KELD_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang, not ${CMAKE_CXX_COMPILER_ID}: configure a new build folder "
                        "without CXX set (the distribution's clang is taken) or with CXX=clang++")
  endif()
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -fsanitize=fuzzer,address,undefined)
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=fuzzer,address,undefined)
  check_cxx_source_compiles(
    "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }"
    KELD_HAVE_LIBFUZZER)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(NOT KELD_HAVE_LIBFUZZER)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} cannot link libFuzzer and the sanitizers: install the Debian "
                        "package libclang-rt-dev (bash tools/deps.sh fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KELD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every library belongs to one layer, and keld_check_links() holds each library to exactly what the
# README's table allows it:
#   core     the standard library and other core libraries only (no Qt); libpng for keld_common
#   render   the core and Qt Gui, never Widgets
#   ui       the core and Qt Widgets: the helpers every window shares
#   binding  the sheet binding: the core and ui; the one library windows may share
#   window   the core, Qt, and what KELD_WINDOW_LINKS_<library> names, never another window library
#   shell    anything; nothing but the program links it
# Include roots are src/ only, so an include names its layer: #include "ui/MessageBox.h";
# tools/check_includes.sh holds the includes to the same table.
function(keld_library name layer)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE keld_warnings)
  set_target_properties(${name} PROPERTIES KELD_LAYER ${layer})
  set_property(GLOBAL APPEND PROPERTY KELD_LIBRARIES ${name})
endfunction()

# A core library: standard C++ only.
function(keld_core_library name)
  keld_library(${name} core ${ARGN})
  set_property(GLOBAL APPEND PROPERTY KELD_CORE_TARGETS ${name})
endfunction()

# Tests and benchmarks are held to the program's warnings: a set-up call whose failure would go
# unnoticed is checked instead of dropped.
add_library(keld_test_warnings INTERFACE)
target_link_libraries(keld_test_warnings INTERFACE keld_warnings)
# Benchmarks time the sheet's setters in loops and drop their results on purpose.
add_library(keld_bench_warnings INTERFACE)
target_link_libraries(keld_bench_warnings INTERFACE keld_warnings)
target_compile_options(keld_bench_warnings INTERFACE -Wno-unused-result)

# A GoogleTest program; its tests are listed when ctest runs.
function(keld_test name)
  include(GoogleTest)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock keld_test_warnings)
  target_compile_definitions(${name} PRIVATE KELD_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             KELD_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(${name} keld_data)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

# The libraries a target links, directly or through other libraries of ours, each once. Targets
# that are not ours (Qt, system libraries) are listed but not followed.
function(keld_link_closure target out)
  set(pending ${target})
  set(seen "")
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(NOT TARGET ${current} OR (NOT current MATCHES "^keld_" AND NOT current STREQUAL target))
      continue()
    endif()
    get_target_property(libs ${current} LINK_LIBRARIES)
    get_target_property(ilibs ${current} INTERFACE_LINK_LIBRARIES)
    foreach(lib IN LISTS libs ilibs)
      if(lib AND NOT lib MATCHES "-NOTFOUND$")
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
        list(APPEND pending ${lib})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${target} keld_warnings)
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# System libraries the core may link; the layers above get them only through the core.
set(KELD_CORE_SYSTEM_LIBRARIES PNG::PNG)
# What each window library may link besides the core and Qt, as the README's table
# says; the libraries these link are allowed with them.
set(KELD_WINDOW_LINKS_keld_sheet keld_ui keld_sheet_binding)
set(KELD_WINDOW_LINKS_keld_inventory_window keld_ui keld_sheet_binding)
set(KELD_WINDOW_LINKS_keld_dice_window keld_ui)
set(KELD_WINDOW_LINKS_keld_report_window keld_ui keld_report_render Cups::Cups)

# Whether library `target` of layer `layer` may link `lib`; sets `out` to TRUE or FALSE.
function(keld_link_allowed target layer lib out)
  set(allowed FALSE)
  if(TARGET ${lib})
    get_target_property(other ${lib} KELD_LAYER)
  else()
    set(other "")
  endif()
  if(other STREQUAL "core" OR lib IN_LIST KELD_CORE_SYSTEM_LIBRARIES)
    set(allowed TRUE) # every layer may use the core
  elseif(layer STREQUAL "render")
    if(lib MATCHES "^Qt6::(Gui|Core)$")
      set(allowed TRUE)
    endif()
  elseif(layer STREQUAL "ui")
    if(lib MATCHES "^Qt6::(Widgets|Gui|Core)$")
      set(allowed TRUE)
    endif()
  elseif(layer STREQUAL "binding")
    if(other STREQUAL "ui" OR lib MATCHES "^Qt6::(Widgets|Gui|Core)$")
      set(allowed TRUE)
    endif()
  elseif(layer STREQUAL "window")
    set(own ${KELD_WINDOW_LINKS_${target}})
    foreach(direct IN LISTS own)
      if(direct MATCHES "^keld_")
        keld_link_closure(${direct} through)
        list(APPEND own ${through})
      endif()
    endforeach()
    if(lib MATCHES "^Qt6::" OR lib IN_LIST own)
      set(allowed TRUE)
    endif()
  elseif(layer STREQUAL "shell")
    if(NOT other STREQUAL "shell")
      set(allowed TRUE)
    endif()
  endif()
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# Fails the configure step, naming the pair, where a library links what its row of the table does
# not allow, where anything links the shell, or where keldcg-cli links more than the core and the
# renderer.
function(keld_check_links)
  get_property(libraries GLOBAL PROPERTY KELD_LIBRARIES)
  foreach(target IN LISTS libraries)
    get_target_property(layer ${target} KELD_LAYER)
    keld_link_closure(${target} closure)
    foreach(lib IN LISTS closure)
      keld_link_allowed(${target} ${layer} ${lib} allowed)
      if(NOT allowed)
        message(FATAL_ERROR "Forbidden link: ${target} (${layer}) links ${lib}.")
      endif()
    endforeach()
    if(NOT layer STREQUAL "core")
      get_target_property(direct ${target} LINK_LIBRARIES)
      foreach(lib IN LISTS direct)
        if(lib IN_LIST KELD_CORE_SYSTEM_LIBRARIES)
          message(FATAL_ERROR "Forbidden link: ${target} (${layer}) links ${lib}; only the core may.")
        endif()
      endforeach()
    endif()
  endforeach()
  if(TARGET keldcg-cli)
    keld_link_closure(keldcg-cli closure)
    foreach(lib IN LISTS closure)
      set(other "")
      if(TARGET ${lib})
        get_target_property(other ${lib} KELD_LAYER)
      endif()
      if((lib MATCHES "^Qt6::" AND NOT lib MATCHES "^Qt6::(Gui|Core)$")
         OR (other AND NOT other MATCHES "^(core|render)$"))
        message(FATAL_ERROR "Forbidden link: keldcg-cli links ${lib}; it may link the core and the renderer only.")
      endif()
    endforeach()
  endif()
endfunction()

# The Qt Gui renderer: pages and PDFs without widgets.
function(keld_render_library name)
  keld_library(${name} render ${ARGN})
  target_link_libraries(${name} PUBLIC Qt6::Gui)
endfunction()

# A Qt Widgets library of the given layer: ui, binding, window or shell.
function(keld_widgets_library name layer)
  keld_library(${name} ${layer} ${ARGN})
  target_link_libraries(${name} PUBLIC Qt6::Widgets)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()

# A Qt Test program for the windows; it runs offscreen with its own settings folder.
function(keld_qt_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE Qt6::Test Qt6::Widgets keld_test_warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${name} PRIVATE KELD_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             KELD_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(${name} keld_data)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT
                       "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}-config"
                       TIMEOUT 300)
endfunction()
