# kiv_zip_tree(<target-name> <source-dir> <output-file>)
# Zips an unzipped package tree (test and sample templates kept as folders of
# XML) into <output-file> with scripts/zip-tree.py: fixed entry order and time
# stamps, so the archive is byte-identical from clone to clone. The archive is
# made again whenever a file of the tree changes, is added or is removed.
# <target-name> is a custom target that builds it (part of "all").
set(KIV_ZIP_TREE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/zip-tree.py)
set(KIV_PYTHON3 /usr/bin/python3 CACHE FILEPATH "Debian's Python 3, used by build scripts")

function(kiv_zip_tree target sourceDir outputFile)
  get_filename_component(src ${sourceDir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(out ${outputFile} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  if(NOT IS_DIRECTORY ${src})
    message(FATAL_ERROR "kiv_zip_tree: ${src} is not a folder")
  endif()
  file(GLOB_RECURSE files CONFIGURE_DEPENDS LIST_DIRECTORIES false ${src}/*)
  add_custom_command(OUTPUT ${out}
    COMMAND ${KIV_PYTHON3} ${KIV_ZIP_TREE_SCRIPT} ${src} ${out}
    DEPENDS ${files} ${KIV_ZIP_TREE_SCRIPT}
    COMMENT "Zipping ${sourceDir}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${out})
endfunction()
