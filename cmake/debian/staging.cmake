# SPDX-License-Identifier: GPL-3.0-or-later
# Runs on the package's staging folder before CPack makes the package.

# Only the package carries lintian's overrides; `cmake --install` has no use for them.
# (file(INSTALL) would put DESTDIR, which CPack sets, in front of the path.)
set(overrides ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/lintian/overrides)
file(MAKE_DIRECTORY ${overrides})
file(COPY_FILE ${CPACK_KELD_SOURCE_DIR}/cmake/debian/lintian-overrides ${overrides}/keldcg)
file(CHMOD ${overrides}/keldcg PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The install step makes folders through the umask; with umask 077 the package would hide its data
# from every user but root.
file(GLOB_RECURSE folders LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
foreach(folder IN LISTS folders ITEMS ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
  if(IS_DIRECTORY ${folder})
    file(CHMOD ${folder} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
         WORLD_EXECUTE)
  endif()
endforeach()

# CPack's own strip keeps the .comment and .note sections; Debian's packages leave them out.
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*)
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_KELD_STRIP} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
