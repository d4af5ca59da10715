# `cmake --install` of the Windows build: one self-contained folder that runs
# from wherever it is put, with no PATH or WINEPATH. The program, lumora-ctl,
# the agent's login launcher and the project's libraries; the Qt, FFmpeg, OpenCV and mingw runtime DLLs
# they load (found by walking their imports); the Qt plugins under plugins/
# with a qt.conf naming them; the 32-bit relay and both virtual camera
# filters (virtual/ and virtual/x86/) from the 32-bit build.
if(DEFINED WINSDK_PREFIX)
    set(LUMORA_WINDOWS_RUNTIME_DIR ${WINSDK_PREFIX}/bin)
    set(LUMORA_QT_PLUGIN_DIR ${WINSDK_PREFIX}/plugins)
else()
    get_target_property(qt_core_dll Qt5::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(LUMORA_WINDOWS_RUNTIME_DIR ${qt_core_dll} DIRECTORY)
    set(LUMORA_QT_PLUGIN_DIR ${LUMORA_WINDOWS_RUNTIME_DIR}/../plugins)
endif()

install(TARGETS Lumora lumora-ctl lumora-agent lumora_platform vorn_ffmpeglib uvc_upgrade VideoCaptureFilter
    RUNTIME DESTINATION . LIBRARY DESTINATION .)
if(TARGET vcam_dshow)
    install(TARGETS vcam_dshow RUNTIME DESTINATION virtual LIBRARY DESTINATION virtual)
endif()
if(LUMORA_WINDOWS_I686_BIN)
    install(PROGRAMS ${LUMORA_WINDOWS_I686_BIN}/lumora-upgrade-relay.exe DESTINATION .)
    install(FILES ${LUMORA_WINDOWS_I686_BIN}/virtual/vcam_dshow.dll DESTINATION virtual/x86
        OPTIONAL)
endif()

# What Qt loads by name at run time: the window system, the style, the
# picture formats of snapshots, the camera and audio device lists.
foreach(plugin platforms/qwindows styles/qwindowsvistastyle
        imageformats/qgif imageformats/qico imageformats/qjpeg imageformats/qtiff
        imageformats/qwebp mediaservice/dsengine audio/qtaudio_windows)
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES ${LUMORA_QT_PLUGIN_DIR}/${plugin}.dll DESTINATION plugins/${folder})
endforeach()
install(CODE "file(WRITE \"\${CMAKE_INSTALL_PREFIX}/qt.conf\" \"[Paths]\\nPrefix = .\\nPlugins = plugins\\n\")")

# Last, every DLL the installed files import from the SDK (transitively).
install(CODE "
    set(LUMORA_DEPLOY_DIR \"\${CMAKE_INSTALL_PREFIX}\")
    set(LUMORA_DEPLOY_SEARCH \"${LUMORA_WINDOWS_RUNTIME_DIR}\")
    set(LUMORA_DEPLOY_OBJDUMP \"${CMAKE_OBJDUMP}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/WindowsDeployDlls.cmake\")")
