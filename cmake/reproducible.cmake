# Reproducible Windows builds: two builds of one commit, from checkouts in different folders at
# different times, give the same cv_setup.exe byte for byte, so that anyone can rebuild a release
# and compare its SHA-256 with the published one.
#  - Paths: the program holds the names of its source files (__FILE__ of the log calls), so the
#    checkout's, the build's and the dependencies' folders are mapped to relative names.
#  - The PE time stamp (and the checksum computed over the file) comes from the commit
#    (SOURCE_DATE_EPOCH, which GNU ld takes for the time stamp): the environment's value at
#    configure time when set, otherwise the time of the checked-out commit; a new commit configures
#    the build again. The test stubs keep the time of their link.
#  - Inputs: the stub's sources are listed in a fixed order, and the archives it links are made
#    without dates and owners (this ar's default).

if(NOT WIN32)
  return()
endif()

# The most specific folder last: GCC tries the maps from the last one given.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CV_DEPS_DIR}/=.deps/
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CV_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  set(CV_SOURCE_DATE_EPOCH 0)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND commit_time MATCHES "^[0-9]+$")
      set(CV_SOURCE_DATE_EPOCH ${commit_time})
      # HEAD names the branch, the branch's file (or the packed refs) the commit.
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --git-path packed-refs
                              --symbolic-full-name HEAD
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_lines ERROR_QUIET
                      OUTPUT_STRIP_TRAILING_WHITESPACE)
      string(REPLACE "\n" ";" git_lines "${git_lines}")
      list(GET git_lines -1 branch)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${branch} WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE branch_file ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      list(REMOVE_AT git_lines -1)
      foreach(file IN LISTS git_lines branch_file)
        if(NOT IS_ABSOLUTE "${file}")
          set(file "${CMAKE_SOURCE_DIR}/${file}")
        endif()
        if(EXISTS "${file}")
          set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
        endif()
      endforeach()
    endif()
  endif()
endif()

# Kept in the cache for the reproducibility test, which builds the stub again elsewhere.
set(CV_SOURCE_DATE_EPOCH ${CV_SOURCE_DATE_EPOCH} CACHE INTERNAL "PE time stamp of the shipped stub")

# cv_stamp_from_commit(<executable>): its PE time stamp is CV_SOURCE_DATE_EPOCH.
function(cv_stamp_from_commit target)
  set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER
               ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${CV_SOURCE_DATE_EPOCH})
endfunction()
