# libmorvaui.so: the printer-interface library. The value engine comes in
# through morva_settings, which links it.
morva_deliverable(morvaui
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/morvaui.map
  LIBS morvaui_entry morva_settings)
