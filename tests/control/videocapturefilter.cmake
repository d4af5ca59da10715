# The vendor dialog library, loaded as the program loads it.
if(NOT TARGET VideoCaptureFilter)
    return()
endif()
lumora_add_test(tst_videocapturefilter
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_videocapturefilter.cpp
    LIBS Qt5::Widgets)
target_include_directories(tst_videocapturefilter PRIVATE ${CMAKE_SOURCE_DIR}/platform)
add_dependencies(tst_videocapturefilter VideoCaptureFilter)
target_compile_definitions(tst_videocapturefilter PRIVATE
    VIDEO_CAPTURE_FILTER_LIBRARY="$<TARGET_FILE:VideoCaptureFilter>")
