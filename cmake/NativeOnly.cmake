# The Qt-free native Windows pieces, built alone when LUMORA_NATIVE_ONLY is
# set (the 32-bit build); the normal Windows build adds them with the rest.
# Their tests are small Windows programs without Qt, run by ctest through
# CMAKE_CROSSCOMPILING_EMULATOR (scripts/wine-run.sh).
if(LUMORA_BUILD_TESTS)
    enable_testing()
endif()
