# The Qt-free native Windows pieces, built alone when LUMORA_NATIVE_ONLY is
# set (the 32-bit build); the normal Windows build adds them with the rest.
# Their tests are small Windows programs without Qt, run by ctest through
# CMAKE_CROSSCOMPILING_EMULATOR (scripts/wine-run.sh).
# Nothing here is Qt's: no moc, uic or rcc.
set(CMAKE_AUTOMOC OFF)
set(CMAKE_AUTOUIC OFF)
set(CMAKE_AUTORCC OFF)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_subdirectory(platform/sharedframe)
add_subdirectory(platform/windows/vcamfilter)
if(LUMORA_BUILD_TESTS)
    enable_testing()
    add_subdirectory(tests/virtualcamera/dshow)
endif()

# The relay that runs a vendor's 32-bit upgrade library for the 64-bit
# program, and the upgrade library stand-ins the 64-bit tests give it.
add_subdirectory(upgrade/relay)
if(LUMORA_BUILD_TESTS)
    add_subdirectory(tests/upgrade/scripted_upgrade)
endif()
