#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures tiny projects with the build's own layer helpers and checks that the configure step
# refuses each forbidden link, naming the pair, and accepts the allowed ones. Qt is stood in for by
# empty imported targets, so this runs without Qt.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# configure NAME EXPECT LINKS: EXPECT is "ok" or the text the failure must show.
configure() {
  local name=$1 expect=$2 links=$3 dir=$work/$1
  mkdir -p "$dir/src"
  touch "$dir/src/a.cpp"
  cat > "$dir/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(layers CXX)
include($source_dir/cmake/Keld.cmake)
# Each window's own row of the table.
set(KELD_WINDOW_LINKS_keld_window_a keld_ui keld_binding keld_render)
set(KELD_WINDOW_LINKS_keld_window_b keld_binding)
set(KELD_WINDOW_LINKS_keld_window_c keld_ui)
foreach(module Core Gui Widgets PrintSupport)
  add_library(Qt6::\${module} INTERFACE IMPORTED)
endforeach()
add_library(PNG::PNG INTERFACE IMPORTED)
add_library(ZLIB::ZLIB INTERFACE IMPORTED)
keld_core_library(keld_core src/a.cpp)
keld_core_library(keld_core2 src/a.cpp)
keld_render_library(keld_render src/a.cpp)
keld_widgets_library(keld_ui ui src/a.cpp)
keld_widgets_library(keld_binding binding src/a.cpp)
keld_widgets_library(keld_window_a window src/a.cpp)
keld_widgets_library(keld_window_b window src/a.cpp)
keld_widgets_library(keld_window_c window src/a.cpp)
keld_widgets_library(keld_shell shell src/a.cpp)
add_executable(keldcg-cli src/a.cpp)
target_link_libraries(keldcg-cli PRIVATE keld_core keld_render)
$links
keld_check_links()
CMAKE
  local out rc=0
  out=$(cmake -S "$dir" -B "$dir/build" 2>&1) || rc=$?
  if [[ $expect == ok ]]; then
    if ((rc != 0)); then
      echo "FAIL: $name was refused:"
      echo "$out" | grep -A2 'Forbidden' || echo "$out" | tail -n 5
      fail=1
    fi
  elif ((rc == 0)) || ! grep -qF "$expect" <<< "$out"; then
    echo "FAIL: $name: expected a refusal naming \"$expect\""
    fail=1
  fi
}

# What the program itself does.
configure allowed ok "target_link_libraries(keld_core PUBLIC keld_core2)
target_link_libraries(keld_core2 PRIVATE PNG::PNG)
target_link_libraries(keld_render PUBLIC keld_core)
target_link_libraries(keld_ui PUBLIC keld_core)
target_link_libraries(keld_binding PUBLIC keld_ui keld_core)
target_link_libraries(keld_window_a PUBLIC keld_binding keld_render keld_ui Qt6::PrintSupport)
target_link_libraries(keld_window_b PUBLIC keld_binding)
target_link_libraries(keld_window_c PUBLIC keld_ui keld_core)
target_link_libraries(keld_shell PUBLIC keld_window_a keld_window_b keld_window_c)"

configure core_qt "(core) links Qt6::Core" "target_link_libraries(keld_core PUBLIC keld_core2)
target_link_libraries(keld_core2 PRIVATE Qt6::Core)"
configure core_zlib "(core) links ZLIB::ZLIB" "target_link_libraries(keld_core2 PRIVATE ZLIB::ZLIB)"
configure window_png "keld_window_a (window) links PNG::PNG; only the core may" \
  "target_link_libraries(keld_window_a PRIVATE PNG::PNG)"
configure core_ui "keld_core (core) links keld_ui" "target_link_libraries(keld_core PUBLIC keld_ui)"
configure render_widgets "keld_render (render) links Qt6::Widgets" "target_link_libraries(keld_render PUBLIC Qt6::Widgets)"
configure ui_window "keld_ui (ui) links keld_window_a" "target_link_libraries(keld_ui PUBLIC keld_window_a)"
configure window_window "keld_window_a (window) links keld_window_b" \
  "target_link_libraries(keld_window_a PRIVATE keld_window_b)"
configure through_binding "links keld_window_b" \
  "target_link_libraries(keld_binding PUBLIC keld_window_b)
target_link_libraries(keld_window_a PUBLIC keld_binding)"
# A window links only what its own row names: not the renderer nor the binding because another may.
configure window_render "keld_window_b (window) links keld_render" "target_link_libraries(keld_window_b PUBLIC keld_render)"
configure window_binding "keld_window_c (window) links keld_binding" "target_link_libraries(keld_window_c PUBLIC keld_binding)"
configure window_shell "keld_window_a (window) links keld_shell" "target_link_libraries(keld_window_a PUBLIC keld_shell)"
configure cli_widgets "keldcg-cli links Qt6::Widgets" "target_link_libraries(keldcg-cli PRIVATE \$<LINK_ONLY:Qt6::Widgets>)"
configure cli_ui "keldcg-cli links keld_ui" "target_link_libraries(keldcg-cli PRIVATE keld_ui)"
configure cli_printing "keldcg-cli links Qt6::PrintSupport" "target_link_libraries(keldcg-cli PRIVATE Qt6::PrintSupport)"
exit $fail
