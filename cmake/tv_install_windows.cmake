# The Windows maker as it ships. In the win64 build `cmake --install` and `cpack -G ZIP`
# lay out one folder, talvenor-pack-<version>-win64 (a .zip from cpack, the download):
#   talvenor-pack.exe    the 64-bit maker: a 32-bit process cannot hold the largest
#                        install scripts that the installer takes
#   talvenor-setup.exe   the shipped 32-bit installer stub (the win32 build's,
#                        TV_WIN32_STUB), beside the maker, where it looks first
#   doc/manifest.md      the manifest reference, and the pages it links to
#                        (try.md, benchmarks.md: cmake/tv_shipped_pages.cmake)
#   doc/examples/        its examples
# The win32 build makes no download: its stub ships in this zip and in the Debian
# package, and its maker is built for the tests under 32-bit Wine. A second Windows
# download would be one more to keep apart from this one and tests nothing that the
# 64-bit one's test does not. Its install (and cpack) says where the download is made.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  install(CODE [[
    message(FATAL_ERROR "The win32 build makes no download. The Windows download, the 64-bit "
                        "maker with this build's stub beside it, is made by the win64 build: "
                        "cmake --preset win64 && cmake --build --preset win64 && "
                        "cd build/win64 && cpack -G ZIP")]])
  set(CPACK_GENERATOR ZIP)
  include(CPack)
  return()
endif()

install(TARGETS talvenor-pack RUNTIME DESTINATION .)
# As built (already stripped): a strip would rewrite the stub that the tests compare.
tv_install_win32_files(. TV_WIN32_STUB)
install(FILES ${TV_SHIPPED_PAGES} DESTINATION doc)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/examples DESTINATION doc)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME talvenor-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "talvenor-setup developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes the Talvenor installer (talvenor-setup.exe)")
set(CPACK_PACKAGE_FILE_NAME talvenor-pack-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)  # the maker's symbol table
include(CPack)
