# Installing and packaging the maker. `cmake --install` puts talvenor-pack in bin/, the
# 32-bit installer stub and UI driver in share/talvenor/ (where the installed maker
# looks for them, from its own folder), the manifest reference and its examples in
# share/doc/talvenor-pack/ and, natively, the man page. In the native build
# `cpack -G DEB` (or the `package` target) makes talvenor-pack_<version>_<arch>.deb.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/tv_shipped_pages.cmake)

# Installs the 32-bit Windows build's files that ship with the maker (the variables
# named, such as TV_WIN32_STUB: see tools/pack) into DESTINATION. An install or package
# without one of them fails and says how to build it.
function(tv_install_win32_files destination)
  set(files "")
  foreach(shipped ${ARGN})
    install(CODE "
      if(NOT EXISTS \"${${shipped}}\")
        message(FATAL_ERROR \"${${shipped}} does not exist: build the win32 preset first \"
                            \"(cmake --preset win32 && cmake --build --preset win32), or point \"
                            \"${shipped} at the 32-bit build's file.\")
      endif()")
    list(APPEND files ${${shipped}})
  endforeach()
  install(FILES ${files} DESTINATION ${destination})
endfunction()

# A Windows build installs and zips another layout: the maker with the stub beside it.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/tv_install_windows.cmake)
  return()
endif()

set(TV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/talvenor-pack)

install(TARGETS talvenor-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TV_SHIPPED_PAGES} DESTINATION ${TV_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/examples DESTINATION ${TV_DOC_DIR})

# Natively the stub and the UI driver are the 32-bit Windows build's.
tv_install_win32_files(${TV_STUB_INSTALL_DIR} TV_WIN32_STUB TV_WIN32_DRIVER)

# The man page, made from the maker's --help texts (gzip -n: no time stamp in it).
set(tv_man ${CMAKE_BINARY_DIR}/man/talvenor-pack.1)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(
  OUTPUT ${tv_man} ${tv_man}.gz
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pack/make_manpage.py
          $<TARGET_FILE:talvenor-pack> ${PROJECT_VERSION} ${tv_man}
  COMMAND gzip -9nkf ${tv_man}
  DEPENDS talvenor-pack ${CMAKE_SOURCE_DIR}/tools/pack/make_manpage.py
  COMMENT "Writing the man page talvenor-pack.1 from the maker's --help"
  VERBATIM)
add_custom_target(talvenor-pack-man ALL DEPENDS ${tv_man}.gz)
install(FILES ${tv_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvenor-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "talvenor-setup developers <setup@talvenor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes the Talvenor installer (talvenor-setup.exe)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "talvenor-pack turns a manifest (TOML) and a folder of files into a finished
one-click Windows installer, without a compiler: it writes the scrambled,
compressed package and appends it to the prebuilt 32-bit installer stub that
this package carries. It also reads installers back (inspect, extract) and
runs one under Wine as a user would, checking what it installed (try, with
the UI driver this package carries; it needs wine and, without a display,
xvfb).

The manifest reference is /usr/share/doc/talvenor-pack/manifest.md; try is
described in /usr/share/doc/talvenor-pack/try.md.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The maker's shared libraries (zlib, libdeflate, the C++ runtime) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# talvenor-pack try runs installers under Wine, in Xvfb without a display, with the
# fonts that show the dialogs' Chinese texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, xvfb, fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
