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

if ! env | grep -q '^QT_'; then
    exec "$wine" "$program" "$@"
fi

settings=""
while IFS='=' read -r name value; do
    settings+="set ${name}=${value}&& "
done < <(env | grep '^QT_')
command="${settings}\"${program}\""
for argument in "$@"; do
    command+=" \"${argument}\""
done
exec "$wine" cmd /c "$command"
