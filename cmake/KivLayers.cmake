# kiv_layer_folders(<target> [BASE <folder>] <folder or file>...): what a layer's
# sources may include. Each layer gets an include root in the build tree holding
# links to its own folders only; a target sees its root and, through the targets
# it links, the roots of the layers below it. A header of a layer above is not
# there, so including one fails the build. Paths are relative to the source
# tree and are included under the same names ("impl/docx/X.h"); with BASE they
# are relative to that folder of the source tree instead, which is how the
# public headers under include/ are included as "KivReport/X.h".
function(kiv_layer_folders target)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "BASE" "")
  set(root ${PROJECT_BINARY_DIR}/layer-includes/${target})
  set(source ${PROJECT_SOURCE_DIR})
  set(prefix "")
  if(LAYER_BASE)
    set(source ${PROJECT_SOURCE_DIR}/${LAYER_BASE})
    set(prefix ${LAYER_BASE}/)
  endif()
  foreach(entry ${LAYER_UNPARSED_ARGUMENTS})
    get_filename_component(parent ${root}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${source}/${entry} ${root}/${entry} SYMBOLIC)
  endforeach()
  # A header-only layer passes its root on to what links it; a program's root
  # is its own; a library's is both.
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
  elseif(type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
    set(scope PUBLIC)
    target_include_directories(${target} PRIVATE ${root})
  else()
    set(scope PUBLIC)
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
  endif()
  # Log lines name headers as the source tree does, not by the link's path.
  target_compile_options(${target} ${scope} $<BUILD_INTERFACE:-fmacro-prefix-map=${root}/=${prefix}>)
endfunction()
