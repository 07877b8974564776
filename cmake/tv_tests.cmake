# An executable's platform implementation: standin or win32.
function(tv_use_platform target impl)
  set_target_properties(${target} PROPERTIES TV_PLATFORM tv_platform_${impl})
endfunction()

# Where test programs can run. Native programs always; Windows programs under Wine
# when this machine can execute them. A 64-bit Windows build runs on 64-bit Wine.
# A 32-bit one needs a kernel that executes 32-bit code, which some sandboxes lack:
# there its test programs are still built and checked for their format, and the
# same tests run in the 64-bit Windows build (preset win64).
set(TV_RUN_TESTS ON)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE tv_wine32_rc
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT tv_wine32_rc EQUAL 0)
    set(TV_RUN_TESTS OFF)
    message(STATUS "32-bit programs cannot run on this machine: the 32-bit test programs are "
                   "built and format-checked; the win64 build runs the same tests under Wine")
  endif()
endif()

set(TV_PE32_CHECKED "" CACHE INTERNAL "")

# Adds a test that runs a target (through Wine in a Windows build); where the target
# cannot run here it is recorded for the format check instead.
function(tv_add_test name target)
  if(TV_RUN_TESTS)
    add_test(NAME ${name} COMMAND ${target} ${ARGN})
  else()
    set_property(GLOBAL APPEND PROPERTY TV_UNRUN_TARGETS ${target})
  endif()
endfunction()

# One test that every 32-bit program that cannot run here is a PE32 Intel 80386 file.
function(tv_add_format_check)
  get_property(targets GLOBAL PROPERTY TV_UNRUN_TARGETS)
  if(NOT targets)
    return()
  endif()
  set(files "")
  foreach(t ${targets})
    list(APPEND files $<TARGET_FILE:${t}>)
  endforeach()
  add_test(NAME pe32_format_of_unrunnable_programs
           COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/check-pe32.sh ${files})
endfunction()
