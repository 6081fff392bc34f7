# The sound tests write their own MP3 files with libmp3lame.
target_link_libraries(test_engine_audio PRIVATE PkgConfig::LAME)
