# Delay-import libraries for DLLs that are not among the ones Windows always loads from the system
# folder. The stub runs elevated from a folder (Downloads) where anyone can drop a DLL beside it, so
# it restricts DLL loading to the system folder first thing and only then lets these DLLs load.
# MinGW's import libraries bind at load time; dlltool -y makes delay-import libraries from a list of
# the DLL's exports, which is read off the MinGW import library.

# cv_add_delay_import(<dll base name>) defines the target cv_delay_<name>.
function(cv_add_delay_import name)
  set(import_lib ${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a)
  set(def ${CMAKE_BINARY_DIR}/delay/${name}.def)
  set(lib ${CMAKE_BINARY_DIR}/delay/lib${name}_delay.a)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # stdcall exports: "_Name@N" in the import library, "Name@N" in the list, "Name" in the DLL.
    set(strip "sub(/^_/, \"\", s);")
    set(kill_at -k)
  else()
    set(strip "")
    set(kill_at "")
  endif()
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay
    COMMAND sh -c "{ echo 'LIBRARY ${name}.dll'; echo EXPORTS; ${CV_MINGW_PREFIX}-nm '${import_lib}' | awk '/ I __imp_/ { s = $3; sub(/^__imp_/, \"\", s); ${strip} print s }' | sort -u; } > '${def}'"
    COMMAND ${CV_MINGW_PREFIX}-dlltool ${kill_at} -d ${def} -y ${lib} -D ${name}.dll
    DEPENDS ${import_lib}
    VERBATIM)
  add_custom_target(cv_delay_${name}_lib DEPENDS ${lib})
  add_library(cv_delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(cv_delay_${name} PROPERTIES IMPORTED_LOCATION ${lib})
  add_dependencies(cv_delay_${name} cv_delay_${name}_lib)
endfunction()
