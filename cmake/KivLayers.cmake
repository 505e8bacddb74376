# kiv_layer_folders(<target> <folder or file>...): what a layer's sources may
# include. Each layer gets an include root in the build tree holding links to
# its own folders only; a target sees its root and, through the targets it
# links, the roots of the layers below it. A header of a layer above is not
# there, so including one fails the build. Paths are relative to the source
# tree and are included under the same names ("impl/docx/X.h").
function(kiv_layer_folders target)
  set(root ${PROJECT_BINARY_DIR}/layer-includes/${target})
  foreach(entry ${ARGN})
    get_filename_component(parent ${root}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${entry} ${root}/${entry} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
  endif()
  # Log lines name headers as the source tree does, not by the link's path.
  target_compile_options(${target} PUBLIC $<BUILD_INTERFACE:-fmacro-prefix-map=${root}/=>)
endfunction()
