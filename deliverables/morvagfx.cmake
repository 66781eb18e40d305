# libmorvagfx.so: the graphics driver library, with its own copy of the
# common settings code (through morvagfx_entry, which links it). Its own
# code reaches settings through libmorvadat.so, bound at run time.
morva_deliverable(morvagfx
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/morvagfx.map
  LIBS morva_gfx_driver morva_render_pdl morva_render_text morva_render_image morva_render_colour morva_output
       morvagfx_entry morva_settings morva_pjl_header morva_private_escapes morva_outside_clients)
add_dependencies(morvagfx morvagfx_resources)
# The fax cover sheet's layout (fax services) for the cover pages, taken
# only as far as it is used.
target_link_libraries(morvagfx PRIVATE morva_fax_services)
