# What each layer's code may include. Headers stay in their layer folders and are included by layer path
# ("cells/RichText.h"), but a layer's target does not get src/ as its include root: it gets a generated folder,
# <build>/layers/<layer>, holding one link per layer folder it may see (its own and those of the layers below it)
# and nothing else. An include of a higher layer's header is then not found and fails to compile. The root is a
# PUBLIC include directory, so a program (a test, a benchmark) sees what it links.
#
# plumet_layer(<name> [TOOLKIT_FREE] [SEES <layer> ...])
#   Declares the layer src/<name>, above the layers it SEES (already declared: so the order can have no cycle)
#   and, through them, above everything they see. TOOLKIT_FREE layers are built without the Qt layers too.
#   Sets PLUMET_INCLUDE_<name> (the include root for the layer's targets) and appends to PLUMET_LAYERS.
function(plumet_layer name)
  cmake_parse_arguments(L "TOOLKIT_FREE" "" "SEES" ${ARGN})
  set(_sees ${name})
  foreach(_below ${L_SEES})
    if(NOT DEFINED PLUMET_LAYER_SEES_${_below})
      message(FATAL_ERROR "Layer ${name} sees ${_below}, which is not declared before it")
    endif()
    list(APPEND _sees ${PLUMET_LAYER_SEES_${_below}})
  endforeach()
  list(REMOVE_DUPLICATES _sees)
  list(SORT _sees)

  # Rebuilt at each configure so that a layer taken off a line is no longer seen; links already right stay as
  # they are (removing a link never touches the folder it points at).
  set(_root ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${_root})
  file(GLOB _present RELATIVE ${_root} ${_root}/*)
  foreach(_entry ${_present})
    if(NOT _entry IN_LIST _sees)
      file(REMOVE ${_root}/${_entry})
    endif()
  endforeach()
  foreach(_seen ${_sees})
    file(CREATE_LINK ${PLUMET_SRC}/${_seen} ${_root}/${_seen} SYMBOLIC)
  endforeach()

  set(PLUMET_LAYER_SEES_${name} ${_sees} PARENT_SCOPE)
  set(PLUMET_INCLUDE_${name} ${_root} PARENT_SCOPE)
  set(PLUMET_LAYERS ${PLUMET_LAYERS} ${name} PARENT_SCOPE)
  if(L_TOOLKIT_FREE)
    set(PLUMET_TOOLKIT_FREE_LAYERS ${PLUMET_TOOLKIT_FREE_LAYERS} ${name} PARENT_SCOPE)
  endif()
endfunction()
