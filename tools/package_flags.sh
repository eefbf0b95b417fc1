# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by tools/package.sh and tools/test.sh: the configure options of a build the Debian
# package can be made from. The programs are built for /usr with Debian's hardening flags, as its
# own packages get them, and without debug info (the package strips it). Needs dpkg-buildflags
# (dpkg-dev, in the package profile of tools/deps.sh).
keld_package_options() {
  local cflags ldflags
  cflags=" $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS) "
  cflags+="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS) "
  cflags=${cflags// -g / }
  ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
  keld_package_cmake_args=(-DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_CXX_FLAGS=$cflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags")
}
