# The layers and what each may include. A source file in a layer's folders may include only
# headers of its own layer and of the layers it lists; anything else stops the configure and,
# through the kadex-layer-check target, every build. Folders not named here (tests, bench,
# fuzz, packaging) sit above all layers and are not checked.
#
# Run as a script:  cmake -DSOURCE_DIR=<tree> -P cmake/KadexLayers.cmake
# or include() it from the top CMakeLists.txt, which runs the check at configure time.

cmake_policy(VERSION 3.25)

# Folder -> layer.
set(KADEX_LAYER_OF_common common)
set(KADEX_LAYER_OF_settings settings)
set(KADEX_LAYER_OF_comm comm)
set(KADEX_LAYER_OF_device device)
set(KADEX_LAYER_OF_history history)
set(KADEX_LAYER_OF_core core)
set(KADEX_LAYER_OF_sim sim)
set(KADEX_LAYER_OF_mainwindow widgets)
set(KADEX_LAYER_OF_dialogs widgets)
set(KADEX_LAYER_OF_cli programs)
set(KADEX_LAYER_OF_app programs)
set(KADEX_LAYER_OF_tools programs)

# Layer -> the layers it may include (its own included).
set(KADEX_LAYER_USES_common common)
set(KADEX_LAYER_USES_settings common settings)
set(KADEX_LAYER_USES_comm common settings comm)
set(KADEX_LAYER_USES_device common settings comm device)
set(KADEX_LAYER_USES_history common settings history)
set(KADEX_LAYER_USES_core common settings comm device history core)
set(KADEX_LAYER_USES_sim common settings comm sim)
set(KADEX_LAYER_USES_widgets common settings comm device history core sim widgets)
set(KADEX_LAYER_USES_programs common settings comm device history core sim widgets programs)

set(KADEX_LAYER_FOLDERS common settings comm device history core sim mainwindow dialogs cli app tools)

# Sets ${out} to the list of wrong-way includes ("file: include (layer -> layer)").
function(kadex_check_layers source_dir out)
  set(found "")
  foreach(folder ${KADEX_LAYER_FOLDERS})
    set(from ${KADEX_LAYER_OF_${folder}})
    set(allowed ${KADEX_LAYER_USES_${from}})
    file(GLOB_RECURSE files RELATIVE ${source_dir}
      ${source_dir}/${folder}/*.cpp ${source_dir}/${folder}/*.h ${source_dir}/${folder}/*.def)
    foreach(f ${files})
      file(STRINGS ${source_dir}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
      get_filename_component(dir ${f} DIRECTORY)
      foreach(line ${lines})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"].*" "\\1;\\2" parts "${line}")
        list(GET parts 0 quote)
        list(GET parts 1 inc)
        # A quoted include is looked up beside the file first.
        set(target "${inc}")
        if(quote STREQUAL "\"" AND EXISTS ${source_dir}/${dir}/${inc})
          file(REAL_PATH ${source_dir}/${dir}/${inc} abs)
          file(RELATIVE_PATH target ${source_dir} ${abs})
        endif()
        string(REGEX MATCH "^[^/]+" top "${target}")
        if(NOT top STREQUAL target AND DEFINED KADEX_LAYER_OF_${top})
          set(to ${KADEX_LAYER_OF_${top}})
          if(NOT to IN_LIST allowed)
            list(APPEND found "${f}: ${inc} (${from} -> ${to})")
          endif()
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(kadex_report_layers source_dir)
  kadex_check_layers(${source_dir} wrong)
  if(wrong)
    list(JOIN wrong "\n  " text)
    message(FATAL_ERROR "Includes against the layers (a layer may include only itself and "
                        "the layers below it, see cmake/KadexLayers.cmake):\n  ${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND SOURCE_DIR)
  kadex_report_layers(${SOURCE_DIR})
endif()
