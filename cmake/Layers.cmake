# Layering of the source folders. A folder's target links only the folders it may use,
# and a check at build time fails when one of its sources includes a header of a folder
# it may not use, so that dependencies keep pointing downwards.

set(QV_FOLDERS platform dataset db wire support export report config controls jobform batch writeoff plugin libs serverdb
    writeoffserver server host)
set(QV_WARNINGS -Wall -Wextra -Werror)

# qv_layer(<target> <folder> MAY_USE <folders...>)
function(qv_layer target folder)
  cmake_parse_arguments(A "" "" "MAY_USE" ${ARGN})
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  get_target_property(srcs ${target} SOURCES)
  set(files)
  foreach(s IN LISTS srcs)
    if(s MATCHES "\\.(h|cpp)$")
      get_filename_component(abs ${s} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND files ${abs})
    endif()
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layers)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} "-DALLOWED=${folder};${A_MAY_USE}"
            "-DKNOWN=${QV_FOLDERS}" "-DFILES=${files}" -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking the includes of ${folder}/" VERBATIM)
  add_custom_target(${target}_layers DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layers)
endfunction()

# qv_shared_room(<target> <folder> MAY_USE <folders...>): a room below the client and the
# server that both load, as one shared library that exports all it has, so that its
# process-wide state exists once in host, plug-ins and server.
function(qv_shared_room target folder)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
  # Nothing replaces the rooms' own functions from outside: calls inside the library may
  # bind to them and inline them, as calls inside one source file of a static library do.
  target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  qv_layer(${target} ${folder} ${ARGN})
endfunction()
