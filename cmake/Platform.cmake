# The platform libraries the module links against, and QISearch imported by ordinal 219
# (mingw's shlwapi import library would import it by name).

set(MOVIEPANE_SYSTEM_LIBS mf mfplat mfuuid strmiids shlwapi comctl32 user32 gdi32 shell32 ole32 oleaut32 propsys uuid)

if(MSVC)
  add_library(qisearch_import INTERFACE)
  target_link_libraries(qisearch_import INTERFACE shlwapi)
else()
  if(MOVIEPANE_ARCH STREQUAL x64)
    set(qisearch_def "LIBRARY shlwapi.dll\nEXPORTS\n  QISearch @219 NONAME\n")
  else()
    set(qisearch_def "LIBRARY shlwapi.dll\nEXPORTS\n  QISearch@16 @219 NONAME\n")
  endif()
  # Written only when it changes, so that a new configure does not relink the DLL.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/qisearch.def CONTENT "${qisearch_def}" @ONLY)
  find_program(MOVIEPANE_DLLTOOL NAMES ${CMAKE_DLLTOOL} ${MINGW_PREFIX}-dlltool REQUIRED)
  set(qisearch_lib ${CMAKE_BINARY_DIR}/libqisearch_ordinal.a)
  if(MOVIEPANE_ARCH STREQUAL x64)
    set(dlltool_args -m i386:x86-64)
  else()
    set(dlltool_args -m i386 -k)
  endif()
  add_custom_command(OUTPUT ${qisearch_lib}
    COMMAND ${MOVIEPANE_DLLTOOL} ${dlltool_args} -d ${CMAKE_BINARY_DIR}/qisearch.def -l ${qisearch_lib}
    DEPENDS ${CMAKE_BINARY_DIR}/qisearch.def
    VERBATIM)
  add_custom_target(qisearch_ordinal_lib DEPENDS ${qisearch_lib})
  add_library(qisearch_import INTERFACE)
  add_dependencies(qisearch_import qisearch_ordinal_lib)
  # Ahead of shlwapi, so that the ordinal import wins.
  target_link_libraries(qisearch_import INTERFACE ${qisearch_lib})
endif()

# Compile options for the module's own code.
function(moviepane_own_code target)
  target_compile_options(${target} PRIVATE ${MOVIEPANE_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
