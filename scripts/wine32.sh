# Sourced by the Windows scripts. wine32 may be installed, yet a kernel
# built without IA32 emulation runs no 32-bit x86 program at all: its
# loader then fails to start, and so does every check that runs a 32-bit
# program (the 32-bit virtual camera filter, the upgrade relay).
wine_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}
