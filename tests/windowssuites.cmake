# Windows build: only the suites of LUMORA_WINDOWS_SUITES (and what they
# depend on) are part of "all"; every other target under tests/ stays
# defined, so the shared CMake files need no Windows branches, but is not
# built.
function(lumora_targets_below dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub ${subdirs})
        lumora_targets_below(${sub} below)
        list(APPEND targets ${below})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The Windows backends against the system itself; the dshow inputs are
# compiled in, as the library exports only their contracts.
lumora_add_test(tst_windowsbackends
    SOURCES platform/tst_windowsbackends.cpp
        ${CMAKE_SOURCE_DIR}/platform/windows/dshowmicrophone.cpp
        ${CMAKE_SOURCE_DIR}/platform/libavdevicemicrophone.cpp
        ${CMAKE_SOURCE_DIR}/platform/windows/dshowsource.cpp
        ${CMAKE_SOURCE_DIR}/platform/windows/dshowmodes.cpp
        ${CMAKE_SOURCE_DIR}/platform/windows/libavdevicesource.cpp
    LIBS lumora_platform PkgConfig::FFMPEG
    TIMEOUT 180)
add_dependencies(tst_windowsbackends VideoCaptureFilter)

# lumora-ctl.exe itself with a simulated camera: the choice of a mode, the
# agent's VISCA and HTTP servers over loopback, and the agent started by its
# login launcher.
lumora_add_test(tst_windowsctl
    SOURCES cli/tst_windowsctl.cpp
    LIBS Qt5::Gui Qt5::Network
    TIMEOUT 300)
add_dependencies(tst_windowsctl lumora-ctl lumora-agent)

lumora_targets_below(${CMAKE_CURRENT_SOURCE_DIR} test_targets)
foreach(target ${test_targets})
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
endforeach()

add_custom_target(lumora_windows_suites ALL)
foreach(suite ${LUMORA_WINDOWS_SUITES})
    if(TARGET ${suite})
        add_dependencies(lumora_windows_suites ${suite})
    else()
        message(WARNING "Windows suite ${suite} does not exist; update LUMORA_WINDOWS_SUITES in tests/CMakeLists.txt")
    endif()
endforeach()
