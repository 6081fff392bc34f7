# test_tools_assetgen reads the assets the build generated beside the nerith
# executable and runs the generator itself for the determinism checks.
if(TARGET assetgen)
  add_dependencies(test_tools_assetgen assets)
  get_property(build_asset_names GLOBAL PROPERTY NERITH_ASSET_NAMES)
  list(JOIN build_asset_names "," build_asset_names)
  target_compile_definitions(test_tools_assetgen PRIVATE
    KV_ASSETGEN_EXE="$<TARGET_FILE:assetgen>"
    KV_ASSET_OUT_DIR="${CMAKE_BINARY_DIR}/bin"
    KV_BUILD_ASSET_NAMES="${build_asset_names}")
endif()
