# lumora_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#                 [LOCKS <resources...>] [TIMEOUT <s>])
# One QtTest executable per suite, registered with ctest. Widgets run on the
# offscreen platform; PULSE_SERVER is passed through from the test script,
# which starts a private PulseAudio server. Each suite keeps its user
# settings (camera profiles) in a folder of its own, never the user's, and
# every ctest run starts them empty (the lumora_settings fixture).
# Suites naming the same LOCKS resource never run at the same time under
# `ctest -j`; suites labelled `hardware` need a real camera and are left out
# of the default run.
function(lumora_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;LOCKS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    # On Windows only the suites of LUMORA_WINDOWS_SUITES are built and run
    # (under CMAKE_CROSSCOMPILING_EMULATOR when cross-built); the others need
    # V4L2, PulseAudio or pkexec.
    if(WIN32 AND NOT name IN_LIST LUMORA_WINDOWS_SUITES)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-settings/${name};ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED lumora_settings)
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
    if(T_LOCKS)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
endfunction()
