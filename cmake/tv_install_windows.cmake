# The Windows maker as it ships: in a Windows build `cmake --install` and `cpack -G ZIP`
# lay out one folder, talvenor-pack-<version>-win32 (a .zip from cpack):
#   talvenor-pack.exe    the maker
#   talvenor-setup.exe   the installer stub, beside the maker, where it looks first
#   doc/manifest.md      the manifest reference
#   doc/examples/        its examples
# The win64 preset makes the same folder from its 64-bit programs, named
# talvenor-pack-<version>-win64-test: the 64-bit stub is for the tests under 64-bit Wine
# on machines that cannot run 32-bit code, not for shipping.
install(TARGETS talvenor-pack RUNTIME DESTINATION .)
# As linked (already stripped): a strip would rewrite the stub that the tests compare.
if(TARGET talvenor-setup)
  install(PROGRAMS $<TARGET_FILE:talvenor-setup> DESTINATION .)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/manifest.md DESTINATION doc)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/examples DESTINATION doc)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME talvenor-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "talvenor-setup developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes the Talvenor installer (talvenor-setup.exe)")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_PACKAGE_FILE_NAME talvenor-pack-${PROJECT_VERSION}-win32)
else()
  set(CPACK_PACKAGE_FILE_NAME talvenor-pack-${PROJECT_VERSION}-win64-test)
endif()
set(CPACK_STRIP_FILES ON)  # the maker's symbol table
include(CPack)
