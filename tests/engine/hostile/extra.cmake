# The crafted files are made at build time by tests/engine/hostile/make_hostile_files.py
# (a recipe: every file is written field by field there) into
# build/tests/hostile_files/, with a manifest the test reads.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KELVRA_HOSTILE_DIR ${CMAKE_BINARY_DIR}/tests/hostile_files)
file(GLOB KELVRA_HOSTILE_SEEDS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/corpus/image/* ${CMAKE_SOURCE_DIR}/fuzz/corpus/module/*)
add_custom_command(
  OUTPUT ${KELVRA_HOSTILE_DIR}/manifest.tsv
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KELVRA_HOSTILE_DIR}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/make_hostile_files.py ${KELVRA_HOSTILE_DIR}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_hostile_files.py ${CMAKE_SOURCE_DIR}/fuzz/ogg_pages.py ${KELVRA_HOSTILE_SEEDS}
  COMMENT "Making the crafted bad files")
add_custom_target(hostile_files DEPENDS ${KELVRA_HOSTILE_DIR}/manifest.tsv)
add_dependencies(test_engine_hostile hostile_files)
target_compile_definitions(test_engine_hostile PRIVATE KV_HOSTILE_DIR="${KELVRA_HOSTILE_DIR}")
