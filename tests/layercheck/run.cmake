# The layer check on a small tree with known wrong-way includes: it must name exactly these.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KadexLayers.cmake)
kadex_check_layers(${CMAKE_CURRENT_LIST_DIR} found)
set(expected
  "comm/Up.cpp: ../device/Record.h (comm -> device)"
  "core/Ok.cpp: mainwindow/MainWindow.h (core -> widgets)"
  "core/Ok.cpp: sim/Sim.h (core -> sim)"
  "device/Record.h: core/MainCore.h (device -> core)"
  "sim/Sim.cpp: device/Record.h (sim -> device)")
list(SORT found)
if(NOT found STREQUAL expected)
  list(JOIN found "\n  " got)
  message(FATAL_ERROR "The layer check found:\n  ${got}")
endif()
message(STATUS "The layer check names the five wrong-way includes and nothing else")
