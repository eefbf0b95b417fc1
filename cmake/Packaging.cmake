# SPDX-License-Identifier: GPL-3.0-or-later
# What a Debian system expects beside the programs (manual pages, AppStream metadata, copyright and
# changelog), and the Debian package that CPack makes from the install step (see tools/package.sh).

set(KELD_APPSTREAM_ID org.keldcg.keldcg)
# The project has no mail address or web site of its own yet. The maintainer field names the
# project, with an address only once one is given; software centres get no screenshots until a
# real place serves them (a placeholder address would be fetched). Lintian's "malformed-contact"
# for the field without an address is overridden in cmake/debian/lintian-overrides.
set(KELD_PACKAGE_MAINTAINER_NAME "KELD Character Generator developers")
set(KELD_PACKAGE_MAINTAINER_EMAIL "" CACHE STRING "Mail address of the Debian package's maintainer; none if empty")
set(KELD_SCREENSHOT_BASE_URL "" CACHE STRING
    "Web folder that serves copies of docs/sheet.png, sheet-dark.png and preview.png for software centres; none if empty")
if(KELD_PACKAGE_MAINTAINER_EMAIL)
  set(KELD_PACKAGE_MAINTAINER "${KELD_PACKAGE_MAINTAINER_NAME} <${KELD_PACKAGE_MAINTAINER_EMAIL}>")
else()
  set(KELD_PACKAGE_MAINTAINER "${KELD_PACKAGE_MAINTAINER_NAME}")
endif()

# data/keldcg.log tells what each release changed but not when; AppStream and the Debian changelog
# need the day. A new release in the log fails the configure step until it is dated here. The
# releases before the project's history here began are dated with the day it begins.
set(KELD_RELEASE_DATES 1.0.20=2026-12-08 1.0.12=2026-12-07 1.0.5=2026-12-07 1.0.0=2026-12-07)

set(keld_pkg_dir ${CMAKE_BINARY_DIR}/packaging)
set(keld_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/keldcg)
find_program(KELD_GZIP gzip REQUIRED)

# --- The release history, read once for the metainfo and the changelog ---

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/keldcg.log)
file(READ ${PROJECT_SOURCE_DIR}/data/keldcg.log keld_log)
# Semicolons would split the list; they come back in keld_xml_escape and the changelog.
string(REPLACE ";" "<semicolon>" keld_log "${keld_log}")
string(REPLACE "\r" "" keld_log "${keld_log}")
string(REPLACE "\n" ";" keld_log_lines "${keld_log}")

# A release starts with its version; the lines indented below it continue it. A line that ends in
# a full stop closes one change, so a change may run over several lines.
set(keld_releases "")
set(version "")
foreach(line IN LISTS keld_log_lines)
  if(line MATCHES "^([0-9]+\\.[0-9]+\\.[0-9]+)[ \t]+(.+)$")
    set(version ${CMAKE_MATCH_1})
    list(APPEND keld_releases ${version})
    set(keld_changes_${version} "")
    set(open "")
    set(line "${CMAKE_MATCH_2}")
  elseif(NOT version OR NOT line MATCHES "^[ \t]+(.+)$")
    continue()
  else()
    set(line "${CMAKE_MATCH_1}")
  endif()
  string(STRIP "${line}" line)
  if(open)
    set(open "${open} ${line}")
  else()
    set(open "${line}")
  endif()
  if(open MATCHES "\\.$")
    list(APPEND keld_changes_${version} "${open}")
    set(open "")
  endif()
  set(keld_open_${version} "${open}")
endforeach()
foreach(version IN LISTS keld_releases)
  if(keld_open_${version})
    list(APPEND keld_changes_${version} "${keld_open_${version}}")
  endif()
endforeach()
if(NOT keld_releases)
  message(FATAL_ERROR "data/keldcg.log names no release")
endif()
list(GET keld_releases 0 keld_latest)
if(NOT keld_latest VERSION_EQUAL PROJECT_VERSION)
  message(FATAL_ERROR "data/keldcg.log starts with ${keld_latest}, but the project is version ${PROJECT_VERSION}")
endif()

function(keld_release_date version out)
  foreach(entry IN LISTS KELD_RELEASE_DATES)
    if(entry MATCHES "^${version}=([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
      set(${out} ${CMAKE_MATCH_1}-${CMAKE_MATCH_2}-${CMAKE_MATCH_3} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "Release ${version} of data/keldcg.log has no date in KELD_RELEASE_DATES (cmake/Packaging.cmake)")
endfunction()

# The day as a changelog writes it: "Tue, 08 Dec 2026 00:00:00 +0000".
function(keld_rfc2822_date iso out)
  string(REGEX MATCH "^([0-9]+)-0?([0-9]+)-([0-9]+)$" _ "${iso}")
  set(y ${CMAKE_MATCH_1})
  set(m ${CMAKE_MATCH_2})
  set(d ${CMAKE_MATCH_3})
  # Sakamoto's weekday formula; 0 is Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR i "${m} - 1")
  list(GET offsets ${i} offset)
  set(yy ${y})
  if(m LESS 3)
    math(EXPR yy "${y} - 1")
  endif()
  math(EXPR weekday "(${yy} + ${yy} / 4 - ${yy} / 100 + ${yy} / 400 + ${offset} + ${d}) % 7")
  set(days Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET days ${weekday} day)
  list(GET months ${i} month)
  set(${out} "${day}, ${d} ${month} ${y} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

function(keld_xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<semicolon>" ";" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Words laid out in lines of at most `width` columns, the first after `first`, the others after
# `rest`.
function(keld_wrap text width first rest out)
  string(REPLACE " " ";" words "${text}")
  set(result "")
  set(line "${first}")
  set(empty TRUE)
  foreach(word IN LISTS words)
    string(LENGTH "${line} ${word}" length)
    if(empty)
      set(line "${line}${word}")
      set(empty FALSE)
    elseif(length GREATER width)
      string(APPEND result "${line}\n")
      set(line "${rest}${word}")
    else()
      set(line "${line} ${word}")
    endif()
  endforeach()
  set(${out} "${result}${line}\n" PARENT_SCOPE)
endfunction()

# --- AppStream metadata ---

set(KELD_METAINFO_RELEASES "")
foreach(version IN LISTS keld_releases)
  keld_release_date(${version} date)
  string(APPEND KELD_METAINFO_RELEASES "    <release version=\"${version}\" date=\"${date}\">\n"
         "      <description>\n")
  list(LENGTH keld_changes_${version} count)
  if(count GREATER 1)
    string(APPEND KELD_METAINFO_RELEASES "        <ul>\n")
  endif()
  foreach(change IN LISTS keld_changes_${version})
    keld_xml_escape("${change}" change)
    if(count GREATER 1)
      string(APPEND KELD_METAINFO_RELEASES "          <li>${change}</li>\n")
    else()
      string(APPEND KELD_METAINFO_RELEASES "        <p>${change}</p>\n")
    endif()
  endforeach()
  if(count GREATER 1)
    string(APPEND KELD_METAINFO_RELEASES "        </ul>\n")
  endif()
  string(APPEND KELD_METAINFO_RELEASES "      </description>\n    </release>\n")
endforeach()
string(STRIP "${KELD_METAINFO_RELEASES}" KELD_METAINFO_RELEASES)
# The README's screenshots, when there is a real place to name; without any, the metadata is still
# valid (appstreamcli validate passes), and software centres show the description alone.
set(KELD_METAINFO_SCREENSHOTS "")
if(KELD_SCREENSHOT_BASE_URL)
  string(REGEX REPLACE "/+$" "" base "${KELD_SCREENSHOT_BASE_URL}")
  string(APPEND KELD_METAINFO_SCREENSHOTS "  <screenshots>\n")
  foreach(shot IN ITEMS
          "sheet.png=The character sheet with a loaded character, its toolbar and the inventory window"
          "sheet-dark.png=The same in a dark desktop theme"
          "preview.png=Print Preview of the detail report: its pages as they print, with the zoom and the page shown")
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${shot}")
    keld_xml_escape("${CMAKE_MATCH_2}" caption)
    keld_xml_escape("${base}/${CMAKE_MATCH_1}" url)
    set(type "")
    if(CMAKE_MATCH_1 STREQUAL "sheet.png")
      set(type " type=\"default\"")
    endif()
    string(APPEND KELD_METAINFO_SCREENSHOTS "    <screenshot${type}>\n      <caption>${caption}</caption>\n"
           "      <image type=\"source\" width=\"1280\" height=\"1024\">${url}</image>\n    </screenshot>\n")
  endforeach()
  string(APPEND KELD_METAINFO_SCREENSHOTS "  </screenshots>\n")
endif()
configure_file(${PROJECT_SOURCE_DIR}/data/desktop/${KELD_APPSTREAM_ID}.metainfo.xml.in
               ${keld_pkg_dir}/${KELD_APPSTREAM_ID}.metainfo.xml @ONLY)
if(KELD_BUILD_GUI)
  install(FILES ${keld_pkg_dir}/${KELD_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
endif()

# --- Changelog, in the form Debian's tools read ---

set(keld_changelog "")
foreach(version IN LISTS keld_releases)
  keld_release_date(${version} date)
  keld_rfc2822_date(${date} stamp)
  string(APPEND keld_changelog "keldcg (${version}) unstable; urgency=medium\n\n")
  foreach(change IN LISTS keld_changes_${version})
    keld_wrap("${change}" 78 "  * " "    " wrapped)
    string(APPEND keld_changelog "${wrapped}")
  endforeach()
  string(APPEND keld_changelog "\n -- ${KELD_PACKAGE_MAINTAINER}  ${stamp}\n\n")
endforeach()
string(STRIP "${keld_changelog}" keld_changelog)
string(REPLACE "<semicolon>" ";" keld_changelog "${keld_changelog}")
# Written through a copy so that an unchanged changelog is not compressed again.
file(WRITE ${keld_pkg_dir}/changelog.new "${keld_changelog}\n")
configure_file(${keld_pkg_dir}/changelog.new ${keld_pkg_dir}/changelog COPYONLY)

# --- Manual pages and the changelog, compressed as Debian wants them ---

set(keld_man_pages keldcg-cli.1)
if(KELD_BUILD_GUI)
  list(APPEND keld_man_pages keldcg.1)
endif()
set(keld_compressed "")
foreach(page IN LISTS keld_man_pages)
  list(APPEND keld_compressed ${PROJECT_SOURCE_DIR}/docs/man/${page}=${keld_pkg_dir}/${page})
  install(FILES ${keld_pkg_dir}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
list(APPEND keld_compressed ${keld_pkg_dir}/changelog=${keld_pkg_dir}/changelog)
set(keld_gz_outputs "")
foreach(pair IN LISTS keld_compressed)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 copy)
  get_filename_component(name ${copy} NAME)
  # -n leaves out the name and time, so the same sources give the same package.
  add_custom_command(OUTPUT ${copy}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}.tmp
                     COMMAND ${KELD_GZIP} -9nf ${copy}.tmp
                     COMMAND ${CMAKE_COMMAND} -E rename ${copy}.tmp.gz ${copy}.gz
                     DEPENDS ${source}
                     COMMENT "Compressing ${name}"
                     VERBATIM)
  list(APPEND keld_gz_outputs ${copy}.gz)
endforeach()
add_custom_target(keld_packaging_docs ALL DEPENDS ${keld_gz_outputs})
install(FILES ${keld_pkg_dir}/changelog.gz ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${keld_doc_dir})

# --- The Debian package ---

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keldcg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KELD Character Generator developers")
set(CPACK_PACKAGE_CONTACT "${KELD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "character generator for the KELD tabletop rules")
# Lines as they appear in the control file (at most 80 columns); CPack turns empty ones into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop program that builds one character for the KELD tabletop
role-playing rules: stats, race, profession and youth background, skill
ranks, level and experience, armour, languages and spell lists, with every
bonus recomputed as you type.

Characters are saved as text files. Reports fill RTF templates and are shown
in a preview window, printed, or saved as RTF or PDF. A dice roller window
rolls dice, and a rolled value is dragged onto a stat.

The package also holds keldcg-cli, which checks rules data files, shows and
resaves characters, writes reports and rolls dice from a terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Not "games": Debian keeps games' programs in /usr/games, which is not on root's PATH, and this is
# a tool beside a game rather than one.
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KELD_PACKAGE_MAINTAINER}")
# The libraries come from the binaries; the fonts are named by the shipped report templates and
# are not linked, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
# The staging script strips what CPack's strip leaves and adds lintian's overrides. Lintian then
# reports no error and no warning; two notes remain, "spelling-error-in-binary" for "neeeds" and
# "liK": the compiler stores short strings as overlapping pieces, which the spelling check reads
# as words, while the texts themselves are spelt right.
set(CPACK_KELD_STRIP ${CMAKE_STRIP})
set(CPACK_KELD_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/staging.cmake)
# Debian's programs live under /usr; configure with CMAKE_INSTALL_PREFIX=/usr (as tools/package.sh
# does) so the data folder built into the programs is the packaged one.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
include(CPack)
