# The helpers shared by the shipped importers.
list(APPEND LH_PLUGIN_EXTRA_FILES importer-common.lua=${CMAKE_CURRENT_SOURCE_DIR}/common/importer-common.lua)
