#!/usr/bin/env bash
# Runs one Windows program under wine: wine-run.sh PROGRAM.exe [ARGS...]
# The test build uses it as CMake's cross-compiling emulator, so ctest runs
# the Windows suites through it.
#
# WINEPREFIX and WINEPATH (the SDK's bin folder, where the Qt, FFmpeg and
# OpenCV DLLs are) come from scripts/windows.sh. Wine does not hand Unix
# variables that start with QT_ to Windows programs, so they are set again
# inside the Windows environment, through cmd.
set -euo pipefail
wine=${LUMORA_WINE:-/usr/lib/wine/wine64}
# Z: is the whole Unix file system in every wine prefix.
unix=$(readlink -f "$1")
program="Z:${unix//\//\\}"
shift

# A batch file sets them and starts the program: quotes inside one cmd /c
# argument do not survive wine's command line. Without a console window Qt
# would log (test results too) to the debugger, not to the output.
batch=$(mktemp --suffix=.bat)
trap 'rm -f "$batch"' EXIT
{
    printf '@echo off\r\nset "QT_FORCE_STDERR_LOGGING=1"\r\n'
    while IFS='=' read -r name value; do
        printf 'set "%s=%s"\r\n' "$name" "$value"
    done < <(env | grep '^QT_')
    printf '"%s" %%*\r\nexit /b %%errorlevel%%\r\n' "$program"
} > "$batch"
"$wine" cmd /c "Z:${batch//\//\\}" "$@"
