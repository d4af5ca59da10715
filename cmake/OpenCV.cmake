# Debian's libopencv-core-dev / libopencv-imgproc-dev ship no CMake package
# (that comes only with the full libopencv-dev), so the two modules the
# effects need are found directly (the Windows build names them with the
# version, opencv_core460).
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OPENCV_CORE_LIBRARY NAMES opencv_core opencv_core460 REQUIRED)
find_library(OPENCV_IMGPROC_LIBRARY NAMES opencv_imgproc opencv_imgproc460 REQUIRED)
add_library(lumora_opencv INTERFACE)
target_include_directories(lumora_opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
target_link_libraries(lumora_opencv INTERFACE ${OPENCV_IMGPROC_LIBRARY} ${OPENCV_CORE_LIBRARY})
add_library(OpenCV::core_imgproc ALIAS lumora_opencv)

# Face detection for auto framing: objdetect where OpenCV has it (Debian's
# libopencv-objdetect-dev); the Windows SDK's OpenCV is built without it.
find_library(OPENCV_OBJDETECT_LIBRARY NAMES opencv_objdetect opencv_objdetect460)
if(OPENCV_OBJDETECT_LIBRARY AND EXISTS ${OPENCV_INCLUDE_DIR}/opencv2/objdetect.hpp)
    add_library(lumora_opencv_objdetect INTERFACE)
    target_link_libraries(lumora_opencv_objdetect INTERFACE ${OPENCV_OBJDETECT_LIBRARY} lumora_opencv)
    add_library(OpenCV::objdetect ALIAS lumora_opencv_objdetect)
endif()
