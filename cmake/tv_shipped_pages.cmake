# The pages that ship with the maker, in the Debian package's doc folder and the Windows
# zip's doc/: the manifest reference and every page it or another shipped page links to
# (tests/dist/links_test.py checks that none is missing).
set(TV_SHIPPED_PAGES
    ${CMAKE_SOURCE_DIR}/docs/manifest.md
    ${CMAKE_SOURCE_DIR}/docs/try.md
    ${CMAKE_SOURCE_DIR}/docs/benchmarks.md)
