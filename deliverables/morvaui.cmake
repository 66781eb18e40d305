# libmorvaui.so: the printer-interface library. The value engine comes in
# through morva_settings, which links it; the direct-fax lists come with
# morva_fax_store; the clients of the optional outside components come
# with morva_outside_clients; the sheet exports with morva_sheet_exports;
# the printer-level entries with morva_printer_level.
morva_deliverable(morvaui
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/morvaui.map
  LIBS morvaui_entry morva_settings morva_property_sheets morva_conflict_ui morva_fax_store
    morva_fax_services morva_pjl_header morva_outside_clients morva_sheet_exports morva_printer_level
    morva_private_escapes morva_document_events)
