# Sourced by the scripts that install packages or build roots: sets SUDO to
# nothing when running as root, to "sudo" when sudo works without a password,
# and returns 1 when neither holds (the caller then skips with its own line).
SUDO=""
root_access() {
    [ "$(id -u)" -eq 0 ] && return 0
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        SUDO="sudo"
        return 0
    fi
    return 1
}
