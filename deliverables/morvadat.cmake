# libmorvadat.so: the settings data manager for outside tools.
morva_deliverable(morvadat
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/morvadat.map
  LIBS morvadat_entry morva_ddm_dma)
