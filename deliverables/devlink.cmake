# libdevlink.so: the printer-management library (SNMP engine and the PSW
# interface with its exported option classes).
morva_deliverable(devlink
  EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/devlink.map
  LIBS devlink_device_api devlink_snmp)
# devlink_device_api brings devlink_snmp in again as a plain dependency;
# keep the whole archive there too.
set_target_properties(devlink PROPERTIES LINK_LIBRARY_OVERRIDE_devlink_snmp WHOLE_ARCHIVE)
