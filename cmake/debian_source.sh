# Debian source packages for the cross builds, fetched with apt-get source through a private
# configuration and state: the source index list is derived from the machine's own binary
# sources, and nothing of the system's apt setup changes.
# Sourced by the deps scripts; expects APT (the private apt folder) and SRC (where each
# package's source is unpacked) to be set.

_apt() { APT_CONFIG=$APT/apt.conf "$@"; }

_apt_setup() {
    [ -f "$APT/.ready" ] && return 0
    local system_sources=/etc/apt/sources.list.d/debian.sources
    [ -r "$system_sources" ] || { echo "deps.sh: $system_sources is missing" >&2; return 1; }
    rm -rf "$APT"
    mkdir -p "$APT/etc/sources.list.d" "$APT/etc/preferences.d" "$APT/etc/apt.conf.d" \
             "$APT/state/lists/partial" "$APT/cache/archives/partial"
    sed 's/^Types:.*$/Types: deb-src/' "$system_sources" > "$APT/etc/sources.list.d/debian-src.sources"
    : > "$APT/etc/sources.list"
    : > "$APT/state/status"
    cat > "$APT/apt.conf" <<EOF
Dir::Etc "$APT/etc";
Dir::Etc::main "$APT/etc/apt.conf.main";
Dir::Etc::sourcelist "$APT/etc/sources.list";
Dir::Etc::sourceparts "$APT/etc/sources.list.d";
Dir::Etc::trusted "/etc/apt/trusted.gpg";
Dir::Etc::trustedparts "/etc/apt/trusted.gpg.d";
Dir::State "$APT/state";
Dir::State::status "$APT/state/status";
Dir::Cache "$APT/cache";
APT::Sandbox::User "$(id -un)";
EOF
    : > "$APT/etc/apt.conf.main"
    _apt apt-get -q update > "$APT/update.log" 2>&1 || { cat "$APT/update.log" >&2; return 1; }
    touch "$APT/.ready"
}

# Unpacks the package's source into SRC/<package>; prints that folder.
_fetch() {
    local pkg=$1 dest=$SRC/$1
    if [ ! -f "$dest/.fetched" ]; then
        _apt_setup
        local work=$SRC/.fetch-$pkg
        rm -rf "$work" "$dest" && mkdir -p "$work"
        # The newest version first, then each suite's own: a mirror may lack a security
        # update's files, or a package's Debian part (then the verified upstream tarball is used).
        local fetched="" target mode
        for target in "$pkg" $(sed -n 's/^Suites://p' "$APT/etc/sources.list.d/debian-src.sources" | tr ' ' '\n' | sed -n "s|^\(.\+\)$|$pkg/\1|p"); do
            for mode in full --tar-only; do
                rm -rf "$work" && mkdir -p "$work"
                if [ "$mode" = full ]; then
                    (cd "$work" && _apt apt-get -q source --only-source "$target" > fetch.log 2>&1) || continue
                else
                    (cd "$work" && _apt apt-get -q source --tar-only --only-source "$target" > fetch.log 2>&1) || continue
                    echo "deps.sh: $pkg: Debian changes unavailable, using the upstream tarball" >&2
                    (cd "$work" && tar xf ./*.orig.tar.*)
                fi
                fetched=1
                break 2
            done
        done
        [ -n "$fetched" ] || { cat "$work/fetch.log" >&2; echo "deps.sh: cannot fetch the source of $pkg" >&2; return 1; }
        local dir
        dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
        [ -n "$dir" ] || { echo "deps.sh: $pkg: no source folder" >&2; return 1; }
        mv "$dir" "$dest"
        rm -rf "$work"
        touch "$dest/.fetched"
    fi
    echo "$dest"
}
