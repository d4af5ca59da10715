#!/usr/bin/env bash
# Prints the URI of the Debian archive this machine's apt already uses, so
# that scripts fetching Debian packages for other roots or releases go where
# the machine itself goes (a local mirror, a proxy, a snapshot) and no script
# has to name a host.
#
# The sources are read in apt's own order: sources.list, then the files of
# sources.list.d in name order, one-line "deb" entries in *.list and deb822
# stanzas in *.sources. The first "deb" entry whose suite is a Debian release
# (a code name or stable/testing/unstable, with or without -updates,
# -backports or -proposed-updates) wins; the -security archive is skipped as it
# holds security updates only. Disabled stanzas (Enabled: no) do not count.
#
#   bash scripts/debian-mirror.sh       prints the URI, fails when there is none
#   source scripts/debian-mirror.sh     defines debian_mirror, which prints it
#
# LUMORA_APT_ETC names another folder to read instead of /etc/apt.

debian_mirror() {
    local etc=${LUMORA_APT_ETC:-/etc/apt}
    local files=() f
    [ -f "$etc/sources.list" ] && files+=("$etc/sources.list")
    if [ -d "$etc/sources.list.d" ]; then
        # apt ignores names with other characters (backups, .disabled files).
        while IFS= read -r f; do
            files+=("$f")
        done < <(find "$etc/sources.list.d" -maxdepth 1 -type f \
            -regextype posix-extended -regex '.*/[A-Za-z0-9_.-]+\.(list|sources)' | LC_ALL=C sort)
    fi
    [ ${#files[@]} -gt 0 ] || return 1
    local uri
    uri=$(awk '
        function release(suite) {
            sub(/\/$/, "", suite)
            if (suite ~ /-security$/) return 0
            sub(/-(updates|backports|backports-sloppy|proposed-updates)$/, "", suite)
            return suite ~ /^(stable|testing|unstable|oldstable|oldoldstable|sid|experimental|hamm|slink|potato|woody|sarge|etch|lenny|squeeze|wheezy|jessie|stretch|buster|bullseye|bookworm|trixie|forky|duke)$/
        }
        function found(uri) {
            sub(/\/+$/, "", uri)
            print uri
            done = 1
            exit
        }
        function deb822_end(   i, j, nu, ns, u, s, t) {
            if (types != "" && enabled !~ /^[Nn][Oo]$/) {
                t = 0
                for (i = split(types, u, /[ \t]+/); i > 0; i--) if (u[i] == "deb") t = 1
                if (t) {
                    nu = split(uris, u, /[ \t]+/)
                    ns = split(suites, s, /[ \t]+/)
                    for (i = 1; i <= nu; i++) {
                        if (u[i] == "" || u[i] ~ /debian-security/) continue
                        for (j = 1; j <= ns; j++) if (release(s[j])) found(u[i])
                    }
                }
            }
            types = uris = suites = enabled = field = ""
        }
        FNR == 1 { if (deb822) deb822_end(); deb822 = (FILENAME ~ /\.sources$/) }
        deb822 {
            if ($0 ~ /^[ \t]*$/) { deb822_end(); next }
            if ($0 ~ /^#/) next
            if ($0 ~ /^[ \t]/) {
                # A continuation line belongs to the field above it.
                line = $0
                gsub(/^[ \t]+|[ \t]+$/, "", line)
                if (field == "uris") uris = uris " " line
                else if (field == "suites") suites = suites " " line
                else if (field == "types") types = types " " line
                next
            }
            name = tolower($0); sub(/:.*/, "", name)
            value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
            field = name
            if (name == "types") types = value
            else if (name == "uris") uris = value
            else if (name == "suites") suites = value
            else if (name == "enabled") enabled = value
            next
        }
        {
            line = $0
            sub(/#.*/, "", line)
            n = split(line, w, /[ \t]+/)
            i = 1
            if (w[i] == "") i++
            if (w[i] != "deb") next
            i++
            # Options: "[a=b c=d]", possibly spread over several words.
            if (substr(w[i], 1, 1) == "[") {
                while (i <= n && w[i] !~ /\]$/) i++
                i++
            }
            if (i + 1 > n || w[i] ~ /debian-security/) next
            if (release(w[i + 1])) found(w[i])
        }
        END { if (deb822 && !done) deb822_end() }
    ' "${files[@]}")
    [ -n "$uri" ] || return 1
    echo "$uri"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    if ! debian_mirror; then
        echo "debian-mirror: no Debian archive in the apt sources of ${LUMORA_APT_ETC:-/etc/apt}" >&2
        exit 1
    fi
fi
