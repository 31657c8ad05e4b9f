# The configuration dialog's resources on Windows: the dialog template and the pictures, which
# scripts/pictures/draw-dialog-pictures.py draws into the build tree. k4_add_dialog_resources()
# adds them to any program or module that shows the dialog (the plug-in and the Windows test
# program).
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(K4_DIALOG_RC ${CMAKE_SOURCE_DIR}/src/platform/win32/configuration_dialog.rc)
set(K4_DIALOG_PICTURE_DIR ${CMAKE_BINARY_DIR}/dialog_pictures)
set(K4_DIALOG_PICTURE_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/pictures/draw-dialog-pictures.py)
set(K4_DIALOG_PICTURES)
foreach(name pendant_front marker_s marker_v marker_c xyz_lamps axis_a axis_b axis_c row_f1 row_f2
             action_button side_button)
  list(APPEND K4_DIALOG_PICTURES ${K4_DIALOG_PICTURE_DIR}/${name}.bmp)
endforeach()

add_custom_command(
  OUTPUT ${K4_DIALOG_PICTURES}
  COMMAND Python3::Interpreter ${K4_DIALOG_PICTURE_SCRIPT} ${K4_DIALOG_PICTURE_DIR}
  DEPENDS ${K4_DIALOG_PICTURE_SCRIPT}
  COMMENT "Drawing the configuration dialog's pictures")
add_custom_target(k4_dialog_pictures DEPENDS ${K4_DIALOG_PICTURES})

function(k4_add_dialog_resources target)
  target_sources(${target} PRIVATE ${K4_DIALOG_RC})
  # The resource compiler finds the pictures on its include path.
  set_source_files_properties(${K4_DIALOG_RC} PROPERTIES OBJECT_DEPENDS "${K4_DIALOG_PICTURES}"
                              INCLUDE_DIRECTORIES ${K4_DIALOG_PICTURE_DIR})
  add_dependencies(${target} k4_dialog_pictures)
endfunction()

k4_add_dialog_resources(Orvane_K4)
