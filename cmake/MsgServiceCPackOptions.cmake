# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE). The ZIP unpacks
# into a folder of its own; the installer puts the same tree in the folder the
# user chose.
if(CPACK_GENERATOR STREQUAL "ZIP")
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
