# The layers as libraries. Every source includes by its path from the
# repository root ("datafile/CFileManage.h"), but no target sees the root
# itself: each library publishes an include root of its own under the build
# tree that holds only its own folders (as links to the sources). A target
# therefore finds the headers of the libraries it links and nothing else, and
# an include across a boundary fails to compile. tests/CheckIncludes.py checks
# the same map over the #include lines, for what a link alone would allow.

# lurva_layer_headers(target PATH...): the include root of target, holding
# each PATH (a folder or a header, from the repository root) under its own
# name. Consumers of target see it too.
function(lurva_layer_headers target)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  foreach(path ${ARGN})
    set(link ${root}/${path})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${link})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${link} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# lurva_layer(target PATH... [LINKS library...]): a static library of the
# layer whose folders are PATH, with its include root, linked to what it may use.
function(lurva_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "PATHS;LINKS")
  add_library(${target} STATIC)
  lurva_layer_headers(${target} ${LAYER_PATHS})
  if(LAYER_LINKS)
    target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
  endif()
  lurva_warnings(${target})
endfunction()
