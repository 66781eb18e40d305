# libmorvaui.so: the printer-interface library.
morva_deliverable(morvaui
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/morvaui.map
  LIBS morva_settings morva_ddm_engine)
