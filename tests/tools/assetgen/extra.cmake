# test_tools_assetgen reads the assets the build generated beside the nerith
# executable and runs the generator itself for the determinism checks.
if(TARGET assetgen)
  add_dependencies(test_tools_assetgen assets)
  target_compile_definitions(test_tools_assetgen PRIVATE
    KV_ASSETGEN_EXE="$<TARGET_FILE:assetgen>"
    KV_ASSET_OUT_DIR="${CMAKE_BINARY_DIR}/bin")
endif()
