# shellcheck shell=bash
# Shell functions shared by the benchmark scripts (sourced, not run).

# Installs those of the Debian packages named in the arguments that are not
# there yet (through sudo when not root).
install_missing() {
    local missing=() p
    for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
    ((${#missing[@]})) || return 0
    echo "Installing ${missing[*]} ..." >&2
    local sudo_=""
    [[ $(id -u) -eq 0 ]] || sudo_=sudo
    $sudo_ apt-get install -y "${missing[@]}" >&2
}

# Copies the files of Debian's wallpaper packages whose names match the
# extended regular expression $2 into folder $1, each file once (the packages
# link some sizes to one file), under numbered names so none collide.
# Prints how many were copied.
collect_wallpapers() {
    local dest=$1 pattern=$2 n=0
    mkdir -p "$dest"
    while IFS= read -r file; do
        n=$((n + 1))
        cp "$file" "$dest/$(printf '%03d' "$n")_$(basename "$file" | tr ' ' '_')"
    done < <(dpkg -L plasma-workspace-wallpapers gnome-backgrounds | grep -iE "$pattern" |
             while IFS= read -r f; do [[ -f $f ]] && readlink -f "$f"; done | sort -u)
    echo "$n"
}

# One line on the pictures in folder $1: megapixels in all and the largest.
describe_pictures() {
    identify -format '%w %h\n' "$1"/* 2>/dev/null |
        awk '{ s += $1 * $2; if ($1 * $2 > m) { m = $1 * $2; w = $1; h = $2 } }
             END { printf "%.0f megapixels in all, largest %dx%d", s / 1e6, w, h }'
}

# Reads a report of GNU time -v (file $1); prints "seconds kilobytes":
# wall-clock time and peak resident set size.
time_report() {
    local s kb
    s=$(awk -F': ' '/Elapsed \(wall clock\)/ {
            n = split($2, p, ":"); t = 0
            for (i = 1; i <= n; i++) t = t * 60 + p[i]
            print t }' "$1")
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$1")
    echo "$s $kb"
}

# True when the number $1 is smaller than $2 (or $2 is empty).
is_faster() {
    [[ -z $2 ]] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'
}
