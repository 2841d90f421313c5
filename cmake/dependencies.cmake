# Third-party code: jsoncons (unpacked by tools/setup.sh into .deps), easylogging++ (Debian's .h/.cc
# pair, copied into the build tree so that /usr/include never lands on the MinGW include path) and,
# for the Windows build, GoogleTest built from Debian's sources.

set(CV_DEPS_DIR ${CMAKE_SOURCE_DIR}/.deps CACHE PATH "Folder where tools/setup.sh puts fetched dependencies")

set(CV_JSONCONS_INCLUDE ${CV_DEPS_DIR}/jsoncons/usr/include)
if(NOT EXISTS ${CV_JSONCONS_INCLUDE}/jsoncons/json.hpp)
  message(FATAL_ERROR "jsoncons not found in ${CV_JSONCONS_INCLUDE}; run tools/setup.sh")
endif()
add_library(cv_jsoncons INTERFACE)
target_include_directories(cv_jsoncons SYSTEM INTERFACE ${CV_JSONCONS_INCLUDE})

set(CV_EASYLOGGING_SOURCE_DIR /usr/include CACHE PATH "Folder holding easylogging++.h and easylogging++.cc")
set(CV_EASYLOGGING_DIR ${CMAKE_BINARY_DIR}/third_party/easylogging)
foreach(file easylogging++.h easylogging++.cc)
  if(NOT EXISTS ${CV_EASYLOGGING_SOURCE_DIR}/${file})
    message(FATAL_ERROR "${file} not found in ${CV_EASYLOGGING_SOURCE_DIR}; run tools/setup.sh")
  endif()
  configure_file(${CV_EASYLOGGING_SOURCE_DIR}/${file} ${CV_EASYLOGGING_DIR}/${file} COPYONLY)
endforeach()
add_library(cv_easylogging STATIC ${CV_EASYLOGGING_DIR}/easylogging++.cc)
target_include_directories(cv_easylogging SYSTEM PUBLIC ${CV_EASYLOGGING_DIR})
# The library keeps its storage in its own translation unit.
target_compile_definitions(cv_easylogging PRIVATE AUTO_INITIALIZE_EASYLOGGINGPP)
# No log file of the library's own making ("myeasylog.log") before the logger is configured, and no
# CHECK macros that could clash with other code.
target_compile_definitions(cv_easylogging PUBLIC ELPP_NO_DEFAULT_LOG_FILE ELPP_NO_CHECK_MACROS)
if(NOT WIN32)
  # Native builds run under AddressSanitizer, which reports crashes itself.
  target_compile_definitions(cv_easylogging PUBLIC ELPP_DISABLE_DEFAULT_CRASH_HANDLING)
endif()

if(WIN32)
  set(CV_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${CV_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
