# The sound tests write their own MP3 files with libmp3lame.
target_link_libraries(test_sound PRIVATE PkgConfig::LAME)
